#include "utility/win32/Win32UiQueue.h"

namespace vexal::utility::win32 {

namespace {
constexpr UINT kMsgRun = WM_APP + 0x40;
constexpr wchar_t kClassName[] = L"VexalUiQueue";
}  // namespace

CWin32UiQueue::CWin32UiQueue() : m_pShared(std::make_shared<SShared>()) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);  // fails harmlessly when registered already
    m_hWnd = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    if (m_hWnd != nullptr) SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    std::lock_guard lock(m_pShared->mutex);
    m_pShared->hWnd = m_hWnd;
}

CWin32UiQueue::~CWin32UiQueue() {
    {
        std::lock_guard lock(m_pShared->mutex);
        m_pShared->hWnd = nullptr;
        m_pShared->calls.clear();
    }
    if (m_hWnd != nullptr) {
        SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, 0);
        DestroyWindow(m_hWnd);
    }
}

void CWin32UiQueue::Post(std::function<void()> fn) {
    std::lock_guard lock(m_pShared->mutex);
    if (m_pShared->hWnd == nullptr) return;
    m_pShared->calls.push_back(std::move(fn));
    // One message per call; a failed post (the queue full) leaves the call
    // for the next message that arrives.
    PostMessageW(m_pShared->hWnd, kMsgRun, 0, 0);
}

void CWin32UiQueue::RunPending() {
    // One call per message, taken out before it runs: a call may open a
    // modal loop that delivers the next message meanwhile.
    std::function<void()> fn;
    {
        std::lock_guard lock(m_pShared->mutex);
        if (m_pShared->calls.empty()) return;
        fn = std::move(m_pShared->calls.front());
        m_pShared->calls.pop_front();
    }
    if (fn) fn();
}

LRESULT CALLBACK CWin32UiQueue::WindowProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
    if (nMsg == kMsgRun) {
        if (auto* pThis = reinterpret_cast<CWin32UiQueue*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA))) pThis->RunPending();
        return 0;
    }
    return DefWindowProcW(hWnd, nMsg, wParam, lParam);
}

}  // namespace vexal::utility::win32
