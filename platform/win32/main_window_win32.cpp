// The main window: class "Harlow-API", caption and system menu only, with five caption labels
// and seven value lines as STATIC controls.
#include <windows.h>

#include <array>
#include <atomic>
#include <string>

#include "platform/main_window.h"
#include "platform/net_device.h"

namespace platform {
namespace {

const char kClassName[] = "Harlow-API";

HINSTANCE g_instance = nullptr;
std::atomic<HWND> g_mainWindow{nullptr};
DWORD g_mainThreadId = 0;
std::array<std::atomic<HWND>, kStatusRows> g_valueLines{};

// Row r (0-based) stands at y = 20 + 30 r.
int rowTop(int index) {
    return 20 + 30 * index;
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND createStatic(const std::string& text, int x, int y, int width, int showCommand) {
    HWND control = CreateWindowExA(0, "STATIC", text.c_str(), WS_CHILD, x, y, width, 18,
                                   g_mainWindow.load(), nullptr, g_instance, nullptr);
    if (control != nullptr) {
        ShowWindow(control, showCommand);
    }
    return control;
}

}  // namespace

bool createMainWindow(const std::string& title, int showCommand) {
    g_instance = GetModuleHandleA(nullptr);
    g_mainThreadId = GetCurrentThreadId();
    WNDCLASSA windowClass{};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = g_instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_SCROLLBAR + 1));
    windowClass.lpszClassName = kClassName;
    if (RegisterClassA(&windowClass) == 0) {
        return false;
    }
    HWND window = CreateWindowExA(0, kClassName, title.c_str(), WS_CAPTION | WS_SYSMENU, 10, 10,
                                  700, 260, nullptr, nullptr, g_instance, nullptr);
    g_mainWindow = window;
    ShowWindow(window, showCommand);
    return true;
}

void createStatusControls(const std::array<std::string, kStatusRows>& captions,
                          const std::array<bool, kStatusRows>& hasCaption, int showCommand) {
    // Created row by row, label before value line; the label of row 3 is followed by the value
    // lines of rows 3, 4 and 5, which have no labels of their own.
    for (int i = 0; i < kStatusRows; ++i) {
        if (hasCaption[i]) {
            createStatic(captions[i], 20, rowTop(i), 100, showCommand);
        }
        g_valueLines[i] = createStatic(":", 130, rowTop(i), 560, showCommand);
    }
}

void setStatusLine(int row, const std::string& text) {
    if (row < 1 || row > kStatusRows) {
        return;
    }
    HWND line = g_valueLines[row - 1].load();
    if (line == nullptr) {
        return;
    }
    SetWindowTextA(line, text.c_str());
    UpdateWindow(line);
}

// The window's rows show what the job writes to them and nothing more.
void setTableProgress(const std::string&, std::uint32_t, std::uint32_t) {}
void endTableProgress(const std::string&, std::uint32_t) {}

void runMessageLoop() {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    noteWindowClosed();
}

void closeMainWindow() {
    HWND window = g_mainWindow.load();
    if (window != nullptr) {
        // Posted, not sent: the caller (the worker, or a failure report) never waits for the
        // main thread. The window procedure posts the quit message; the window stays on the
        // screen until the process ends.
        PostMessageA(window, WM_DESTROY, 0, 0);
    } else {
        // No window could be created (no display): end the loop with the quit message itself,
        // or the process would never end.
        PostThreadMessageA(g_mainThreadId, WM_QUIT, 0, 0);
    }
}

int initialShowCommand() {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    return (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : SW_SHOWDEFAULT;
}

}  // namespace platform
