// What the tests of windows' logic share: a view that only records, and the
// UI thread's queue as a test runs it by hand.
#pragma once
#include "utility/logic/LibraryJobs.h"
#include "utility/logic/DialogView.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace vexal::utility::test {

// Holds what the logic put into the window; answers nothing else.
class CRecordingView final : public CNoView {
public:
    std::u16string GetText(int nId) const override { return m_texts.count(nId) ? m_texts.at(nId) : u""; }
    void SetText(int nId, const std::u16string& strText) override { m_texts[nId] = strText; }
    void Enable(int nId, bool bEnable) override { m_enabled[nId] = bEnable; }
    bool IsEnabled(int nId) const override { return !m_enabled.count(nId) || m_enabled.at(nId); }
    bool IsShown(int) const override { return true; }
    void ListClear(int) override {
        m_nRows = 0;
        m_rows.clear();
    }
    int ListAddRow(int, const std::vector<std::u16string>& cells) override {
        m_rows.push_back(cells);
        return m_nRows++;
    }
    int ListRowCount(int) const override { return m_nRows; }
    std::u16string ListCell(int, int nRow, int nColumn) const override {
        if (nRow < 0 || static_cast<size_t>(nRow) >= m_rows.size() || nColumn < 0 ||
            static_cast<size_t>(nColumn) >= m_rows[static_cast<size_t>(nRow)].size())
            return {};
        return m_rows[static_cast<size_t>(nRow)][static_cast<size_t>(nColumn)];
    }
    void SetIpv4(int nId, const Ipv4Octets& octets) override { m_addresses[nId] = octets; }
    Ipv4Octets GetIpv4(int nId) const override { return m_addresses.count(nId) ? m_addresses.at(nId) : Ipv4Octets{}; }
    void SetProgress(int, int nValue, int) override { m_nProgress = nValue; }
    int ProgressValue(int) const override { return m_nProgress; }
    bool IsVisible() const override { return true; }
    void Close(int nResult) override { m_closed = nResult; }
    void SetBusy(bool bBusy) override { m_nBusy += bBusy ? 1 : -1; }
    void StartTimer(int nTimerId, int) override { m_timers.insert(nTimerId); }
    void StopTimer(int nTimerId) override { m_timers.erase(nTimerId); }
    EMsgResult Message(const std::u16string& strText, EMsgIcon eIcon, EMsgButtons) override {
        m_messages.push_back({strText, eIcon});
        return EMsgResult::Ok;
    }
    bool PrepareChild(CDialogLogic&) override { return true; }
    std::optional<std::string> ChooseFile(const SFileChoice&) override { return m_chosenFile; }

    std::map<int, std::u16string> m_texts;
    std::map<int, bool> m_enabled;
    std::map<int, Ipv4Octets> m_addresses;
    int m_nRows = 0;
    std::vector<std::vector<std::u16string>> m_rows;  // the list's cells, as added since its last clear
    int m_nProgress = -1;
    std::set<int> m_timers;
    std::vector<std::pair<std::u16string, EMsgIcon>> m_messages;
    std::optional<int> m_closed;
    int m_nBusy = 0;                          // SetBusy(true) calls not ended yet
    std::optional<std::string> m_chosenFile;  // what a file choice answers
};

// Nothing is posted: no job runs in these cases.
class CIdleQueue final : public IUiQueue {
public:
    void Post(std::function<void()>) override {}
};

// Continuations wait here until the test runs them, on its own thread.
class CHandQueue final : public IUiQueue {
public:
    void Post(std::function<void()> fn) override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_posted.push_back(std::move(fn));
        }
        m_cv.notify_all();
    }
    // Runs the next posted call, waiting up to nWait for one.
    bool RunNext(std::chrono::milliseconds nWait = std::chrono::seconds(5)) {
        std::function<void()> fn;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (!m_cv.wait_for(lock, nWait, [&] { return !m_posted.empty(); })) return false;
            fn = std::move(m_posted.front());
            m_posted.pop_front();
        }
        fn();
        return true;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<std::function<void()>> m_posted;
};

}  // namespace vexal::utility::test
