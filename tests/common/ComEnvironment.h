// COM for the tests' thread, initialised as the program entry does it for the window thread. A
// test program that includes this header has it for all of its tests.
#pragma once
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

class ComEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override { CoUninitialize(); }
};
[[maybe_unused]] inline const auto* const kComEnvironment =
    ::testing::AddGlobalTestEnvironment(new ComEnvironment);
