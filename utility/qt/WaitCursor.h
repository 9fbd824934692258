// The wait cursor as an RAII guard.
//
//   { CWaitCursor wait; ...library work... }   // cursor restored on every exit
//
// CDialogBase::Message lifts every wait cursor before a message box shows
// (LiftAll); guards made before that then leave the cursor alone.
#pragma once
#include <cstdint>

namespace vexal::utility {

class CWaitCursor {
public:
    CWaitCursor();
    ~CWaitCursor();
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

    // Restores the cursor now (the destructor then does nothing).
    void Release();

    // Restores the cursor of every live guard (before a message box).
    static void LiftAll();
    // Number of wait cursors set now (0 after every handler).
    static int ActiveCount();

private:
    uint64_t m_nGeneration;
    bool m_bActive = false;
};

}  // namespace vexal::utility
