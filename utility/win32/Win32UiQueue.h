// The UI thread's queue on Win32: a job's continuation is posted as a
// private message to a hidden message-only window, so any message loop of
// the thread (a modal dialog's, a message box's) runs it.
#pragma once
#include "utility/logic/LibraryJobs.h"

#include <windows.h>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace vexal::utility::win32 {

class CWin32UiQueue final : public IUiQueue {
public:
    CWin32UiQueue();  // on the UI thread
    ~CWin32UiQueue() override;
    CWin32UiQueue(const CWin32UiQueue&) = delete;
    CWin32UiQueue& operator=(const CWin32UiQueue&) = delete;

    bool IsValid() const { return m_hWnd != nullptr; }
    // Any thread. Dropped once the queue is gone.
    void Post(std::function<void()> fn) override;

private:
    struct SShared {
        std::mutex mutex;
        std::deque<std::function<void()>> calls;
        HWND hWnd = nullptr;  // null once the window is gone
    };
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
    void RunPending();

    std::shared_ptr<SShared> m_pShared;
    HWND m_hWnd = nullptr;
};

}  // namespace vexal::utility::win32
