// The progress pop-up (dialog 147): a bar 0..100 that advances by 2 every
// 50 ms and wraps to 0 after 100, to show that the library is working.
//
// The main window owns one and shows it around a settings read:
//
//   m_progress.Begin();                    // position 0, shown, input blocked
//   bool bRead = page->ReadFromHub();      // library work on the worker thread
//   m_progress.End();
//
// It is application-modal while shown (no other input reaches the program),
// has no caption, Escape and the close button do nothing, and its timer runs
// only while it is shown. Pages do not show it themselves.
#pragma once
#include <QDialog>
#include <QTimer>

class QProgressBar;

namespace vexal::utility {

class CProgressDlg final : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 147;
    static constexpr int kBarId = 1053;
    static constexpr int kStep = 2;
    static constexpr int kTimerMs = 50;

    explicit CProgressDlg(QWidget* pOwner);
    ~CProgressDlg() override;

    void Begin();
    void End();
    int Position() const;
    bool TimerRunning() const { return m_timer.isActive(); }

    // Hides every pop-up that is shown (before a message box).
    static void HideAll();

    void reject() override {}  // Escape never closes it

protected:
    void showEvent(QShowEvent* pEvent) override;
    void hideEvent(QHideEvent* pEvent) override;
    void closeEvent(QCloseEvent* pEvent) override;

private:
    void OnTimer();

    QProgressBar* m_pBar = nullptr;
    QTimer m_timer;
};

}  // namespace vexal::utility
