#include <windows.h>

#include "platform/message_loop.h"

namespace av::platform {
namespace {

constexpr wchar_t kClassName[] = L"SIMX.MSG.WINDOW";

// One message window per process; its handler is set when it is created.
WindowMessageHandler g_handler = nullptr;

LRESULT CALLBACK MessageWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        if (create != nullptr && create->lpCreateParams != nullptr) {
            SetWindowLongPtrW(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        return 0;
    }
    void* owner = reinterpret_cast<void*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (owner != nullptr && g_handler != nullptr &&
        g_handler(owner, message, static_cast<std::uintptr_t>(wParam),
                  static_cast<std::intptr_t>(lParam)) != 0) {
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

Handle CreateAutoResetEvent() { return CreateEventW(nullptr, FALSE, FALSE, nullptr); }

void SignalEvent(Handle event) {
    if (event != nullptr) SetEvent(event);
}

void CloseEvent(Handle event) {
    if (event != nullptr) CloseHandle(event);
}

Handle CreateMessageWindow(Handle instance, void* owner, WindowMessageHandler handler) {
    g_handler = handler;
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = &MessageWindowProc;
    wc.hInstance = static_cast<HINSTANCE>(instance);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);  // a second registration fails harmlessly

    HWND window = CreateWindowExW(0, kClassName, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  static_cast<HINSTANCE>(instance), owner);
    if (IsWindow(window) != 1) return nullptr;
    return window;
}

void DestroyMessageWindow(Handle window) {
    if (window != nullptr) DestroyWindow(static_cast<HWND>(window));
}

bool PostWindowMessage(Handle window, std::uint32_t message, std::uintptr_t wParam,
                       std::intptr_t lParam) {
    return PostMessageW(static_cast<HWND>(window), message, static_cast<WPARAM>(wParam),
                        static_cast<LPARAM>(lParam)) != 0;
}

WaitResult WaitForEventOrInput(Handle event) {
    HANDLE handle = event;
    const DWORD result = MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_ALLINPUT);
    if (result == WAIT_OBJECT_0) return WaitResult::Event;
    if (result == WAIT_OBJECT_0 + 1) return WaitResult::Input;
    return WaitResult::Other;
}

void PumpMessages() {
    MSG msg;
    // WM_QUIT gets no special treatment: only the simulator's QUIT ends the run.
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace av::platform
