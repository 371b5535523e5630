// The client's entry point.
#include <windows.h>

#include "shell/app_settings.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    Settings().Load();
    return 0;
}
