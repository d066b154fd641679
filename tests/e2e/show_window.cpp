// Holds the installer's window on screen for a picture taken from outside (tests/e2e/screenshot.sh,
// tools/demo.sh):
//   show_window RESULT [install]
//   show_window - person        (for a person at a display: waits until the window is closed)
// Lays out F:\Instalador with a settings file and a program file on the server S:, starts the
// installer and, with "install", presses "&Instalar", answers every box with its first button
// and waits for the end of the run. Then writes to RESULT one line: the window's left, top,
// right, bottom, its client origin on the screen, the panel colour (r g b), and the status line;
// waits until RESULT.done exists, presses "&Cancelar" and ends with the installer's exit code.
#include <windows.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "Driver.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: show_window RESULT [install]\n");
        return 2;
    }
    const std::string result = argv[1];
    const bool install = argc > 2 && std::string(argv[2]) == "install";
    e2e::LayOutInstaller();
    e2e::WriteFile("F:\\Instalador\\startKestrel.INI",
                   e2e::Settings("C:\\Kestrel\\Kestrel.exe", "S:\\Kestrel\\Kestrel.exe"));
    e2e::WriteFile("S:\\Kestrel\\Kestrel.exe", "MZ stand-in for the application");
    e2e::Installer app;
    if (!app.Window()) return 3;
    if (argc > 2 && std::string(argv[2]) == "person") return static_cast<int>(app.WaitForExit(INFINITE));
    if (install) {
        HWND cancel = app.Button("&Cancelar");
        if (!app.Click(app.Button("&Instalar"))) return 4;
        while (!app.IsEnabled(cancel) && app.Running()) {
            e2e::Box box = app.CurrentBox();
            if (box.hwnd) {
                std::printf("box \"%s\": %s\n", box.caption.c_str(), box.text.c_str());
                app.Answer(box, GetDlgItem(box.hwnd, IDYES) ? IDYES : IDOK);
            }
            Sleep(50);
        }
    }
    RECT r = e2e::WindowRect(app.Window());
    POINT client{0, 0};
    ClientToScreen(app.Window(), &client);
    COLORREF panel = GetSysColor(COLOR_INACTIVECAPTION);
    if (FILE* f = std::fopen(result.c_str(), "w")) {
        std::fprintf(f, "%ld %ld %ld %ld %ld %ld %d %d %d %s\n", r.left, r.top, r.right, r.bottom,
                     client.x, client.y, GetRValue(panel), GetGValue(panel), GetBValue(panel),
                     app.Status().c_str());
        std::fclose(f);
    }
    e2e::WaitFor([&] { return e2e::FileExists(result + ".done"); }, 120000);
    app.Click(app.Button("&Cancelar"));
    return static_cast<int>(app.WaitForExit());
}
