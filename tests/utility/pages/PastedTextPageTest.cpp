// What a user can paste into the pages' text fields. Typing cannot enter a
// control character, a paste can; the hub's Bluetooth texts end at a CR and
// its block texts and communities at a NUL.
#include "PagesTestSupport.h"

namespace vexal::utility::test {
namespace {

class CPastedTextPageTest : public CHubPageTest {};

TEST_F(CPastedTextPageTest, ControlCharactersArePastedIntoNoFieldAndSetSendsWhatTheFieldsShow) {
    Control("SET snmp 1");  // the community fields are enabled with SNMP
    const QString refused[] = {QStringLiteral("Front\r\nDesk"), QStringLiteral("12\r34"),
                               QStringLiteral("a\tb"),          QString::fromUtf16(u"Shop\u0000Floor", 10),
                               QStringLiteral("\x1b[2J"),       QStringLiteral("x\x7f")};
    struct SField {
        std::unique_ptr<CPageLogic> (*pfnMake)(const SPageContext&);
        int nId;
        const char* pszAccepted;
    };
    const SField fields[] = {
        {MakeBluetoothPage, 1038, "Lane 5"},  {MakeBluetoothPage, 1040, "4711"},
        {MakeWlanPage, 1059, "Lane 5"},       {MakeWlanPage, 1068, "lane-five-key"},
        {MakeNetProtocolPage, 1078, "lane5"}, {MakeNetProtocolPage, 1079, "lane5-rw"},
    };
    for (const SField& field : fields) {
        auto page = RenderPage(field.pfnMake, Context());
        ASSERT_TRUE(ReadFromHub(*page));
        page->show();
        SCOPED_TRACE(std::to_string(page->DialogId()) + " field " + std::to_string(field.nId));
        const QString strShown = page->GetText(field.nId);
        for (const QString& strText : refused) {
            PasteInto(*page, field.nId, strText);
            EXPECT_EQ(page->GetText(field.nId), strShown) << U8(strText);
        }
        PasteInto(*page, field.nId, QString::fromLatin1(field.pszAccepted));
        EXPECT_EQ(U8(page->GetText(field.nId)), field.pszAccepted);
    }
    EXPECT_TRUE(m_services.Messages().empty());

    // The page that splits its texts at a CR sends exactly what it shows.
    auto page = RenderPage(MakeBluetoothPage, Context());
    ASSERT_TRUE(ReadFromHub(*page));
    page->show();
    PasteInto(*page, 1038, QStringLiteral("Lane 5"));
    PasteInto(*page, 1040, QStringLiteral("12\r34"));
    ClearReceived();
    ClickControl(*page, 1037);
    EXPECT_EQ(WaitReceived(2).back(),
              "1400313130303030"
              "0D"
              "4C616E652035"
              "0D");
}

}  // namespace
}  // namespace vexal::utility::test
