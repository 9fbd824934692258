// WLAN settings page (137): every authentication through read, show and SET,
// the list handlers, the key rules and full fields in the 592-byte block.
#include "PagesTestSupport.h"

namespace vexal::utility::test {
namespace {

constexpr int kNetworkMode = 1056, kDhcpEnable = 1057, kDhcpDisable = 1058, kSsid = 1059, kIp = 1061,
              kAuthentication = 1064, kCipher = 1065, kEap = 1066, kWepKey = 1067, kPsk = 1068, kEapIdentity = 1069,
              kEapPassword = 1070, kSet = 1037;

class CWlanPageTest : public CHubPageTest {
protected:
    // Block bytes [nAt, nAt + nCount) of a SET as the hub received it
    // ("2100" and block bytes 18..591), as hex.
    static std::string BlockHex(const std::string& strPayload, size_t nAt, size_t nCount = 1) {
        return strPayload.substr(2 * (2 + nAt - 18), 2 * nCount);
    }
    static std::string Hex(const std::string& strText) {
        static const char kDigits[] = "0123456789ABCDEF";
        std::string out;
        for (unsigned char c : strText) {
            out += kDigits[c >> 4];
            out += kDigits[c & 15];
        }
        return out;
    }
    std::string SetAndReceive(CDialogBase& page) {
        ClearReceived();
        m_services.Clear();
        ClickControl(page, kSet);
        auto sent = WaitReceived(1);
        EXPECT_EQ(sent.size(), 1u);
        return sent.empty() ? std::string() : sent[0];
    }
};

TEST_F(CWlanPageTest, EachAuthenticationIsShownAndSentBackAsRead) {
    struct SCase {
        int nAuth, nCipher;
        const char* pszCipher;
        bool bWep, bPsk, bEap;
    };
    const SCase kCases[] = {{0, 0, "NONE", false, false, false},     {0, 1, "WEP64/128", true, false, false},
                            {1, 1, "WEP64/128", true, false, false}, {2, 2, "TKIP", false, true, false},
                            {3, 3, "AES", false, true, false},       {4, 4, "AES + TKIP", false, false, true},
                            {5, 3, "AES", false, false, true}};
    for (const SCase& c : kCases) {
        SCOPED_TRACE(c.nAuth * 10 + c.nCipher);
        Control("SET wlan.auth " + std::to_string(c.nAuth));
        Control("SET wlan.cipher " + std::to_string(c.nCipher));
        Control("SET wlan.wep_key ABCDE");
        Control("SET wlan.psk passphrase1");
        Control("SET wlan.eap_identity ident");
        Control("SET wlan.eap_password secret");
        Control("SET wlan.eap_method 2");
        auto page = RenderPage(MakeWlanPage, Context());
        ASSERT_TRUE(ReadFromHub(*page));
        page->show();
        EXPECT_EQ(page->ComboIndex(kAuthentication), c.nAuth);
        EXPECT_EQ(U8(page->GetText(kCipher)), c.pszCipher);
        EXPECT_EQ(page->IsEnabled(kWepKey), c.bWep);
        EXPECT_EQ(page->IsEnabled(kPsk), c.bPsk);
        EXPECT_EQ(page->IsEnabled(kEapIdentity), c.bEap);
        EXPECT_EQ(page->ComboIndex(kEap), c.bEap ? 2 : -1);
        EXPECT_EQ(U8(page->GetText(kSsid)), "ShopFloor");

        const std::string sent = SetAndReceive(*page);
        ASSERT_EQ(sent.size(), 2u * 576);
        EXPECT_EQ(sent.substr(0, 4), "2100");
        EXPECT_EQ(BlockHex(sent, 97, 2), Hex(std::string{char(c.nAuth), char(c.nCipher)}));
        EXPECT_EQ(BlockHex(sent, 268), c.bEap ? "02" : "00");
        EXPECT_EQ(BlockHex(sent, 99, 6), c.bWep ? Hex(std::string("ABCDE\0", 6)) : "000000000000");
        EXPECT_EQ(BlockHex(sent, 203, 12), c.bPsk ? Hex(std::string("passphrase1\0", 12)) : std::string(24, '0'));
        EXPECT_EQ(BlockHex(sent, 269, 6), c.bEap ? Hex(std::string("ident\0", 6)) : std::string(12, '0'));
        EXPECT_EQ(BlockHex(sent, 301, 7), c.bEap ? Hex(std::string("secret\0", 7)) : std::string(14, '0'));
        // The name as read, the constants, the addresses.
        EXPECT_EQ(BlockHex(sent, 18, 14), Hex(std::string("VexalHub-WLAN\0", 14)));
        EXPECT_EQ(BlockHex(sent, 51, 2), "0001");
        EXPECT_EQ(BlockHex(sent, 53, 4), "C0A80132");
        EXPECT_EQ(BlockHex(sent, 267), "06");
        EXPECT_EQ(BlockHex(sent, 397, 2), "238C");
        EXPECT_EQ(BlockHex(sent, 590, 2), "5651");
        EXPECT_EQ(Texts(), (std::vector<std::string>{"Succeeded to configure network info.",
                                                     "Please, turn off the printer and turn on the printer"}));
    }
}

TEST_F(CWlanPageTest, ASharedKeyNetworkUsesWepWhateverItsCipherByteSays) {
    Control("SET wlan.auth 1");
    Control("SET wlan.cipher 0");
    Control("SET wlan.wep_key ABCDE");
    auto page = RenderPage(MakeWlanPage, Context());
    ASSERT_TRUE(ReadFromHub(*page));
    page->show();
    EXPECT_EQ(U8(page->GetText(kCipher)), "WEP64/128");
    EXPECT_EQ(U8(page->GetText(kWepKey)), "ABCDE");
    const std::string sent = SetAndReceive(*page);
    EXPECT_EQ(BlockHex(sent, 97, 2), "0101");
    EXPECT_EQ(BlockHex(sent, 99, 6), Hex(std::string("ABCDE\0", 6)));
}

TEST_F(CWlanPageTest, ModeAuthenticationAndCipherChoicesKeepTheListsConsistent) {
    Control("SET wlan.mode 1");
    auto page = RenderPage(MakeWlanPage, Context());
    ASSERT_TRUE(ReadFromHub(*page));
    page->show();
    // Ad hoc: two authentications, DHCP off whatever byte 52 holds.
    EXPECT_EQ(page->ComboIndex(kNetworkMode), 1);
    EXPECT_EQ(page->ComboCount(kAuthentication), 2);
    EXPECT_TRUE(page->IsChecked(kDhcpDisable));
    EXPECT_FALSE(page->IsChecked(kDhcpEnable));
    EXPECT_FALSE(page->IsEnabled(kDhcpEnable));
    EXPECT_TRUE(page->IsEnabled(kIp));

    ActivateComboIndex(*page, kNetworkMode, 0);
    EXPECT_EQ(page->ComboCount(kAuthentication), 6);
    EXPECT_EQ(page->ComboIndex(kAuthentication), 0);
    EXPECT_TRUE(page->IsEnabled(kDhcpEnable));
    EXPECT_EQ(page->ComboCount(kCipher), 2);
    EXPECT_FALSE(page->IsEnabled(kWepKey));
    ActivateComboIndex(*page, kCipher, 1);
    EXPECT_TRUE(page->IsEnabled(kWepKey));
    ActivateComboIndex(*page, kAuthentication, 4);
    EXPECT_EQ(U8(page->ComboItemText(kCipher, 0)), "TKIP");
    EXPECT_EQ(page->ComboIndex(kEap), 0);
    EXPECT_TRUE(page->IsEnabled(kEapPassword));
    EXPECT_FALSE(page->IsEnabled(kWepKey));
    EXPECT_FALSE(page->IsEnabled(kPsk));
    ClickControl(*page, kDhcpEnable);
    EXPECT_FALSE(page->IsEnabled(kIp));

    const std::string sent = SetAndReceive(*page);
    EXPECT_EQ(BlockHex(sent, 51, 2), "0001");
    EXPECT_EQ(BlockHex(sent, 97, 2), "0402");
    EXPECT_EQ(BlockHex(sent, 268), "00");
}

TEST_F(CWlanPageTest, ChoosingTheEntryAListAlreadyShowsChangesNothing) {
    auto page = RenderPage(MakeWlanPage, Context());  // infrastructure, WPA2-PSK, AES
    ASSERT_TRUE(ReadFromHub(*page));
    page->show();
    for (const auto& [nList, nIndex] : {std::pair{kNetworkMode, 0}, {kAuthentication, 3}, {kCipher, 1}}) {
        SCOPED_TRACE(nList);
        ChooseFromOpenList(*page, nList, nIndex);
        EXPECT_EQ(page->ComboIndex(kAuthentication), 3);
        EXPECT_EQ(U8(page->GetText(kCipher)), "AES");
        EXPECT_TRUE(page->IsEnabled(kPsk));
    }
    EXPECT_EQ(BlockHex(SetAndReceive(*page), 97, 2), "0303");
}

TEST_F(CWlanPageTest, KeyAndTextLimitsRefuseAndSendNothing) {
    auto page = RenderPage(MakeWlanPage, Context());  // WPA2-PSK, AES
    ASSERT_TRUE(ReadFromHub(*page));
    page->show();
    TypeInto(*page, kSsid, QString(33, QLatin1Char('s')));
    TypeInto(*page, kPsk, QString(64, QLatin1Char('x')));
    EXPECT_EQ(U8(page->GetText(kSsid)), "ShopFloor");
    EXPECT_EQ(U8(page->GetText(kPsk)), "vexal-demo-key");
    ClearReceived();
    TypeInto(*page, kPsk, "short12");
    ClickControl(*page, kSet);
    TypeInto(*page, kSsid, "");
    ClickControl(*page, kSet);
    TypeInto(*page, kSsid, "Lab");
    ActivateComboIndex(*page, kAuthentication, 4);
    TypeInto(*page, kEapIdentity, QString(33, QLatin1Char('i')));
    TypeInto(*page, kEapPassword, QString(97, QLatin1Char('p')));
    EXPECT_EQ(U8(page->GetText(kEapPassword)), "");
    ActivateComboIndex(*page, kAuthentication, 0);
    ActivateComboIndex(*page, kCipher, 1);
    TypeInto(*page, kWepKey, "123456");
    ClickControl(*page, kSet);
    EXPECT_EQ(Texts(),
              (std::vector<std::string>{"Maximum length is 32", "Maximum length is 63", "PSK Key : Minimum length is 8",
                                        "SSID : Minimum length is 1", "Maximum length is 32", "Maximum length is 96",
                                        "WEP key is invalid.\nWEP key must be 5 or 13 characters."}));
    EXPECT_EQ(U8(page->GetText(kSsid)), "Lab");
    EXPECT_EQ(Control("RX 0"), "");
    TypeInto(*page, kWepKey, "1234567890123");
    const std::string sent = SetAndReceive(*page);
    EXPECT_EQ(BlockHex(sent, 97, 2), "0001");
    EXPECT_EQ(BlockHex(sent, 99, 14), Hex(std::string("1234567890123\0", 14)));
}

TEST_F(CWlanPageTest, FullFieldsStayInsideTheirFieldsBothWays) {
    const QString strSsid(32, QLatin1Char('S'));
    const QString strPsk(64, QLatin1Char('A'));  // a raw key in hexadecimal digits
    auto page = RenderPage(MakeWlanPage, Context());
    ASSERT_TRUE(ReadFromHub(*page));
    page->show();
    TypeInto(*page, kSsid, strSsid);
    TypeInto(*page, kPsk, strPsk);
    EXPECT_TRUE(m_services.Messages().empty());
    const std::string sent = SetAndReceive(*page);
    // No NUL in a full field: the next field's byte follows at once.
    EXPECT_EQ(BlockHex(sent, 65, 34), Hex(std::string(32, 'S')) + "0303");
    EXPECT_EQ(BlockHex(sent, 203, 65), Hex(std::string(64, 'A')) + "06");

    auto again = RenderPage(MakeWlanPage, Context());
    ASSERT_TRUE(ReadFromHub(*again));
    EXPECT_EQ(again->GetText(kSsid), strSsid);
    EXPECT_EQ(again->GetText(kPsk), strPsk);
    EXPECT_EQ(again->ComboIndex(kAuthentication), 3);
}

TEST_F(CWlanPageTest, OnlyTheHubsSuccessMarksCountAsSuccess) {
    Control("SET wlan.ack_fail 1");
    auto page = RenderPage(MakeWlanPage, Context());
    ASSERT_TRUE(ReadFromHub(*page));
    page->show();
    SetAndReceive(*page);
    EXPECT_EQ(Texts(), std::vector<std::string>{"Failed to configure network info."});
    Control("FAULT WRONGHEADER 20");
    m_services.Clear();
    EXPECT_FALSE(ReadFromHub(*RenderPage(MakeWlanPage, Context())));
    EXPECT_EQ(Texts(), std::vector<std::string>{"Failed to read WLAN configuration info."});
}

}  // namespace
}  // namespace vexal::utility::test
