#include "support/dialog_answerer.h"

#include <string.h>

#include "support/e2e.h"

DialogAnswerer::DialogAnswerer(std::function<int(HWND)> handler)
    : handler_(std::move(handler)), worker_([this] { Run(); })
{
}

int DialogAnswerer::Stop()
{
    done_ = true;
    if (worker_.joinable())
        worker_.join();
    return answered_;
}

static BOOL CALLBACK FindVisibleDialog(HWND w, LPARAM found)
{
    char cls[16] = "";
    GetClassNameA(w, cls, sizeof(cls));
    if (strcmp(cls, "#32770") == 0 && IsWindowVisible(w))
        *(HWND *)found = w;
    return *(HWND *)found == NULL;
}

void DialogAnswerer::Run()
{
    while (!done_) {
        HWND dialog = NULL;
        EnumThreadWindows(owner_, FindVisibleDialog, (LPARAM)&dialog);
        if (!dialog) {
            Sleep(20);
            continue;
        }
        PressButton(dialog, handler_(dialog));
        answered_++;
        for (int wait = 0; wait < 500 && IsWindow(dialog) && IsWindowVisible(dialog); wait++)
            Sleep(20);
    }
}
