// The floor of a process start: an empty Win32 window program that shows a window and closes it
// at once (whole-process baseline), or keeps it until it is closed ("wait", memory baseline;
// "hidden FILE": kept and never shown, the desktop's keeper during the benchmark, which makes
// FILE once its window exists, that is once the desktop is up).
#include <windows.h>

#include <cstring>

static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int show) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = instance;
    wc.lpszClassName = "EmptyWindow";
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(0, "EmptyWindow", "Empty", WS_OVERLAPPEDWINDOW, 0, 0, 459, 246,
                                nullptr, nullptr, instance, nullptr);
    if (const char* hidden = std::strstr(commandLine, "hidden ")) {
        CloseHandle(CreateFileA(hidden + 7, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    } else {
        ShowWindow(hwnd, show);
        UpdateWindow(hwnd);
        if (std::strstr(commandLine, "wait") == nullptr) DestroyWindow(hwnd);
    }
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
