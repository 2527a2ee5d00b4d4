// The full-screen pop-up window and its procedure.
#include "display/display.h"
#include "shell/shell.h"

HWND Window;
int32_t Active;

int WIN_Init(HINSTANCE instance, int nCmdShow)
{
    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = WIN_Proc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    windowClass.hbrBackground = NULL;
    windowClass.lpszMenuName = NULL;
    windowClass.lpszClassName = "cname";
    if (!RegisterClassA(&windowClass))
        return 0;

    // The whole desktop at its current size; the display mode switch then makes it 640 x 480.
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    Window = CreateWindowExA(0, "cname", "cname", WS_POPUP, 0, 0, screenWidth, screenHeight, NULL,
                             NULL, instance, NULL);
    if (Window == NULL)
        return 0;
    ShowWindow(Window, nCmdShow);
    UpdateWindow(Window);
    SetFocus(Window);
    return 1;
}

LRESULT CALLBACK WIN_Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        break;
    case WM_ACTIVATEAPP:
        // Any non-zero flag means foreground, however wide the parameter.
        Active = wParam != 0;
        break;
    case WM_SETCURSOR:
        SetCursor(NULL);
        return 1;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE)
            PostMessageA(window, WM_CLOSE, 0, 0);
        else if (wParam == VK_SPACE)
            FPS_Toggle();
        break;
    case WM_SYSCOMMAND:
        // Compared whole: the screen saver and monitor power-down are refused, nothing else.
        if (wParam == SC_SCREENSAVE || wParam == SC_MONITORPOWER)
            return 0;
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
