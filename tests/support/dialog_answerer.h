// Answers the modal dialogs that the test thread opens, from a worker thread, as a
// user would: for each dialog that shows, the handler reads what it needs (and may
// change the system while the dialog is open) and names the button to press.
#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <thread>

class DialogAnswerer {
public:
    explicit DialogAnswerer(std::function<int(HWND)> handler);
    ~DialogAnswerer() { Stop(); }
    // Ends the worker; the number of dialogs it answered.
    int Stop();

private:
    void Run();
    std::function<int(HWND)> handler_;
    DWORD owner_ = GetCurrentThreadId();
    std::atomic<bool> done_{false};
    int answered_ = 0;
    std::thread worker_;
};
