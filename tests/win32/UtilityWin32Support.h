// What the Win32 renderer's tests share: the common controls, a message
// pump with a time limit, the message and file hooks recorded, and driving a
// control by identifier with the window messages a user's action makes.
#pragma once
#include "utility/logic/DialogLogic.h"
#include "utility/win32/Win32Dialog.h"
#include "utility/win32/Win32UiQueue.h"

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vexal::utility::win32::test {

struct SRecordedMessage {
    HWND hOwner = nullptr;
    std::string strText;  // UTF-8
    EMsgIcon eIcon = EMsgIcon::Information;
};

// Installs recording hooks for its lifetime; message boxes answer eAnswer.
class CRecordedHooks {
public:
    CRecordedHooks();
    ~CRecordedHooks();
    std::vector<SRecordedMessage> messages;
    std::vector<std::string> Texts() const;
    EMsgResult eAnswer = EMsgResult::Ok;
    std::optional<std::string> chosenFile;
    std::vector<SFileChoice> fileChoices;
};

void InitControls();
// Dispatches the thread's messages until pred() holds or nMs pass; pred()'s
// last value.
bool PumpUntil(const std::function<bool()>& pred, int nMs = 5000);
void PumpFor(int nMs);

// A user's actions, by identifier; each returns once its handler has run.
void Click(HWND hDialog, int nId);                                // BM_CLICK
void Type(HWND hDialog, int nId, const std::u16string& strText);  // WM_SETTEXT (EN_CHANGE follows)
void Pick(HWND hDialog, int nId, int nIndex);                     // CB_SETCURSEL + CBN_SELCHANGE
void ActivateRow(HWND hDialog, int nId, int nRow);                // a click, then LVN_ITEMACTIVATE
void SelectRow(HWND hDialog, int nId, int nRow);                  // a row clicked: selection, NM_CLICK
void PickListBoxRow(HWND hDialog, int nId, int nRow);             // LB_SETCURSEL + LBN_SELCHANGE
void TypeIpv4(HWND hDialog, int nId, uint8_t a, uint8_t b, uint8_t c, uint8_t d);

std::string U8(const std::u16string& str);

// A user's steps while a modal loop runs: a thread timer, served by any
// loop of the thread, runs each step once its window is there.
class CScript {
public:
    explicit CScript(std::vector<std::function<bool()>> steps) : m_steps(std::move(steps)) {
        s_pThis = this;
        m_nTimer = SetTimer(nullptr, 0, 50, &CScript::Tick);
    }
    ~CScript() {
        KillTimer(nullptr, m_nTimer);
        s_pThis = nullptr;
    }
    bool Done() const { return m_nNext == m_steps.size(); }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        // A step that is not ready yet (false) is tried again next time.
        if (s_pThis != nullptr && !s_pThis->Done() && !s_pThis->m_bInside) {
            s_pThis->m_bInside = true;
            if (s_pThis->m_steps[s_pThis->m_nNext]()) ++s_pThis->m_nNext;
            s_pThis->m_bInside = false;
        }
    }
    static inline CScript* s_pThis = nullptr;
    std::vector<std::function<bool()>> m_steps;
    size_t m_nNext = 0;
    bool m_bInside = false;
    UINT_PTR m_nTimer = 0;
};

}  // namespace vexal::utility::win32::test
