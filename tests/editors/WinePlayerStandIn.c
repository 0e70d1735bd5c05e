/* A stand-in game player for Windows, run under Wine by the tests. It puts up
 * what a player made with the usual Windows application framework puts up: a
 * hidden-looking application window of class "TApplication" titled with the
 * adventure's name (taken from the program's own file name), and a main form
 * owned by it. It notes in "jogador.log", in its working folder:
 *   inicio ARGUMENT|CURRENT FOLDER   once, when it starts
 *   ativo SCRIPT                     each time it becomes the active program,
 *                                    with the one line of "scp.txt" (or "-")
 *   inativo                          each time another program takes over
 * Each line is written with one call and the file closed at once, so that a
 * reader never sees half a line. */
#include <windows.h>

#include <stdio.h>
#include <string.h>

static void note(const char* line) {
    HANDLE file = CreateFileA("jogador.log", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, line, (DWORD)strlen(line), &written, NULL);
    WriteFile(file, "\n", 1, &written, NULL);
    CloseHandle(file);
}

static void noteHandOff(void) {
    char line[600] = "ativo ";
    char name[512] = "";
    FILE* in = fopen("scp.txt", "rb");
    if (in) {
        if (!fgets(name, sizeof name, in))
            name[0] = '\0';
        fclose(in);
        name[strcspn(name, "\r\n")] = '\0';
        strcat(line, name);
    } else {
        strcat(line, "-");
    }
    note(line);
}

static LRESULT CALLBACK applicationProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_ACTIVATEAPP) {
        if (w)
            noteHandOff();
        else
            note("inativo");
    }
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcA(window, message, w, l);
}

static LRESULT CALLBACK formProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_CLOSE) {
        DestroyWindow(GetWindow(window, GW_OWNER));
        return 0;
    }
    return DefWindowProcA(window, message, w, l);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show) {
    (void)previous;
    (void)show;
    /* The adventure's name is the program's file name without ".exe". */
    char path[MAX_PATH] = "";
    GetModuleFileNameA(NULL, path, MAX_PATH);
    const char* base = strrchr(path, '\\');
    base = base ? base + 1 : path;
    char title[MAX_PATH] = "";
    snprintf(title, sizeof title, "%s", base);
    char* dot = strrchr(title, '.');
    if (dot)
        *dot = '\0';

    char folder[MAX_PATH] = "";
    GetCurrentDirectoryA(MAX_PATH, folder);
    char line[2 * MAX_PATH + 16];
    snprintf(line, sizeof line, "inicio %s|%s", arguments, folder);
    note(line);

    WNDCLASSA application = {0};
    application.lpfnWndProc = applicationProc;
    application.hInstance = instance;
    application.lpszClassName = "TApplication";
    RegisterClassA(&application);
    WNDCLASSA form = {0};
    form.lpfnWndProc = formProc;
    form.hInstance = instance;
    form.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    form.lpszClassName = "TFormJogo";
    RegisterClassA(&form);

    /* The application window has no size: it stands for the program on the
     * task bar, while the form is what the player sees. */
    HWND app = CreateWindowA("TApplication", title, WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                             GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, NULL, NULL,
                             instance, NULL);
    HWND main = CreateWindowA("TFormJogo", "Jogador", WS_OVERLAPPEDWINDOW, 20, 20, 320, 200, app, NULL, instance, NULL);
    ShowWindow(app, SW_SHOWNOACTIVATE);
    ShowWindow(main, SW_SHOWNORMAL);
    UpdateWindow(main);

    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
