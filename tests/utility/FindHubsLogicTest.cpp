// "Find hubs…" as its logic alone, through a view that only records: what
// either renderer shows for ranges that cannot be searched.
#include "utility/logic/FindHubsLogic.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

using namespace vexal;
using namespace vexal::utility;
using namespace vexal::utility::find_ids;

namespace {

// Holds what the logic put into the window; answers nothing else.
class CRecordingView final : public IDialogView {
public:
    std::u16string GetText(int nId) const override { return m_texts.count(nId) ? m_texts.at(nId) : u""; }
    void SetText(int nId, const std::u16string& strText) override { m_texts[nId] = strText; }
    bool IsChecked(int) const override { return false; }
    void SetCheck(int, bool) override {}
    void Enable(int nId, bool bEnable) override { m_enabled[nId] = bEnable; }
    bool IsEnabled(int nId) const override { return !m_enabled.count(nId) || m_enabled.at(nId); }
    void Show(int, bool) override {}
    bool IsShown(int) const override { return true; }
    void Focus(int) override {}
    void ComboClear(int) override {}
    void ComboAdd(int, const std::u16string&) override {}
    int ComboCount(int) const override { return 0; }
    int ComboIndex(int) const override { return -1; }
    void ComboSelect(int, int) override {}
    std::u16string ComboItemText(int, int) const override { return {}; }
    void ListClear(int) override { m_nRows = 0; }
    int ListAddRow(int, const std::vector<std::u16string>&) override { return m_nRows++; }
    int ListRowCount(int) const override { return m_nRows; }
    std::u16string ListCell(int, int, int) const override { return {}; }
    int ListSelectedRow(int) const override { return -1; }
    void ListSelectRow(int, int) override {}
    void SetIpv4(int, const Ipv4Octets&) override {}
    Ipv4Octets GetIpv4(int) const override { return {}; }
    void SetProgress(int, int nValue, int) override { m_nProgress = nValue; }
    int ProgressValue(int) const override { return m_nProgress; }
    void SetTitle(const std::u16string&) override {}
    bool IsVisible() const override { return true; }
    void Close(int nResult) override { m_closed = nResult; }
    void SetBusy(bool) override {}
    void StartTimer(int nTimerId, int) override { m_timers.insert(nTimerId); }
    void StopTimer(int nTimerId) override { m_timers.erase(nTimerId); }
    EMsgResult Message(const std::u16string& strText, EMsgIcon eIcon, EMsgButtons) override {
        m_messages.push_back({strText, eIcon});
        return EMsgResult::Ok;
    }
    void PrepareChild(CDialogLogic&) override {}
    void ReleaseChild(CDialogLogic&) override {}
    int RunModal(CDialogLogic&) override { return kRejected; }
    void ShowModeless(CDialogLogic&) override {}
    void HideModeless(CDialogLogic&) override {}
    std::optional<std::string> ChooseFile(const SFileChoice&) override { return std::nullopt; }

    std::map<int, std::u16string> m_texts;
    std::map<int, bool> m_enabled;
    int m_nRows = 0;
    int m_nProgress = -1;
    std::set<int> m_timers;
    std::vector<std::pair<std::u16string, EMsgIcon>> m_messages;
    std::optional<int> m_closed;
};

// Nothing is posted: no job runs in these cases.
class CIdleQueue final : public IUiQueue {
public:
    void Post(std::function<void()>) override {}
};

}  // namespace

TEST(FindHubsLogic, RangesThatCannotBeSearchedAreRefusedAndNothingStarts) {
    client::CfgApiTable api;
    CIdleQueue queue;
    CLibraryJobs jobs(queue);
    CFindHubsLogic find(api, jobs, u"10.0.0.0/8", 9100);
    CRecordingView view;
    find.Attach(&view);
    find.OnInit();
    EXPECT_EQ(view.GetText(kRange), u"10.0.0.0/8");
    EXPECT_EQ(view.GetText(kStatus), u"Give the addresses to search and press Search.");
    EXPECT_FALSE(view.IsEnabled(kStop));
    EXPECT_FALSE(view.IsEnabled(kUse));

    find.OnClicked(kSearch);
    ASSERT_EQ(view.m_messages.size(), 1u);
    EXPECT_EQ(view.m_messages[0].first,
              u"The addresses to search cannot be used: /8 is too large a range (at most /22, 1024 addresses).\n"
              u"Give ranges such as 192.168.0.0/24, each at most a /22, separated by commas.");
    EXPECT_EQ(view.m_messages[0].second, EMsgIcon::Warning);
    EXPECT_TRUE(view.m_timers.empty()) << "no search runs";
    EXPECT_FALSE(find.IsBusy());
    EXPECT_TRUE(view.IsEnabled(kSearch));
    EXPECT_EQ(view.GetText(kStatus), u"Give the addresses to search and press Search.");

    // Nothing found, nothing chosen: "Use this hub" does nothing, Close closes at once.
    find.OnClicked(kUse);
    EXPECT_FALSE(view.m_closed.has_value());
    find.OnClicked(kClose);
    EXPECT_EQ(view.m_closed, std::optional<int>(kRejected));
    EXPECT_FALSE(find.Chosen().has_value());
    find.Attach(nullptr);
}
