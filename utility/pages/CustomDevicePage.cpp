// The custom device page (dialog 143): the hub's table of custom USB devices
// per device type, and two views of what is attached now (the USB list and
// the device IDs with their USB identifiers). It reads only when the user
// chooses a view or a type, never on opening.
#include <string>
#include <vector>

#include "client/HubClient.h"
#include "model/CustomDevices.h"
#include "model/Identification.h"
#include "model/SerialLine.h"
#include "model/TextFields.h"
#include "utility/logic/PageLogic.h"
#include "utility/logic/Text.h"
#include "utility/pages/PageLists.h"

namespace vexal::utility {

namespace {

enum : int {
    kIdView = 1066,
    kIdListType = 1067,
    kIdList = 1068,
    kIdVid = 1069,
    kIdPid = 1070,
    kIdType = 1071,
    kIdAdd = 1072,
    kIdDelete = 1073,
    kIdReInit = 1074,
};

enum EColumn : int { kColNo, kColId, kColVid, kColPid, kColType };
enum EView : int { kViewCustom, kViewUsb, kViewDevIds };

const char16_t kMsgListFailed[] = u"Failed to custom device list.";              // 150
const char16_t kMsgUsbFailed[] = u"Failed to USB ID list.";                      // 151
const char16_t kMsgDevIdFailed[] = u"Fail to find Device ID match USB VID/PID";  // 152
const char16_t kMsgBadLength[] = u"The VID/PID length is invalid.";              // 153
const char16_t kMsgNotHexadecimal[] = u"The VID/PID is not hexadecimal.";
const char16_t kMsgPowerCycle[] = u"Please, turn off the printer and turn on the printer";  // 141

const SDialogDesc& CustomDeviceDesc() {
    static const SDialogDesc desc = [] {
        SDialogDesc s;
        s.nId = 143;
        s.strTitle = u"Custom Device Configuration";
        auto add = [&s](SControlDesc c) -> SControlDesc& {
            s.controls.push_back(std::move(c));
            return s.controls.back();
        };

        // What is read: the view, the type whose list is shown, the rows.
        add(Ctl(EControl::Group, 0, u"Get Custom Device", 0, 0)).nColumnSpan = 6;
        add(Ctl(EControl::ListBox, kIdView, u"View", 0, 0));
        add(Ctl(EControl::ListBox, kIdListType, u"Device type of the list", 0, 1)).bDisabled = true;
        SControlDesc& list = add(Ctl(EControl::ListView, kIdList, u"Devices", 0, 2));
        list.nColumnSpan = 4;
        list.columns = {u"No.", u"ID", u"VID", u"PID", u"Device Type"};
        // About 560 pixels of a 6-pixel average character; with w a fifth of
        // that less 2, the columns are w-45, w-20, w-20, w-20 and w+110 pixels
        // (the last a little less, so that no scroll bar shows: it stretches).
        list.nWidthChars = 93;
        list.columnWidths = {11, 15, 15, 15, 36};
        list.bCentred = true;
        list.nRowExtraPixels = 15;

        // What is changed: a pair of identifiers and the type it belongs to.
        SControlDesc& set = add(Ctl(EControl::Group, 0, u"Set/Del Custom Device", 1, 0));
        set.nRowSpan = 2;
        set.nColumnSpan = 6;
        add(LabelFor(kIdVid, u"&VID(Hex) :", 1, 0));
        add(Ctl(EControl::Edit, kIdVid, u"VID(Hex)", 1, 1)).nMaxLength = 4;
        add(LabelFor(kIdPid, u"&PID(Hex) :", 1, 2));
        add(Ctl(EControl::Edit, kIdPid, u"PID(Hex)", 1, 3)).nMaxLength = 4;
        add(LabelFor(kIdType, u"Device &Type :", 1, 4));
        add(Ctl(EControl::Combo, kIdType, u"Device Type", 1, 5));
        add(Ctl(EControl::Button, kIdAdd, u"Add Custom Device", 2, 1));
        add(Ctl(EControl::Button, kIdDelete, u"Delete Custom Device", 2, 3));
        add(Ctl(EControl::Button, kIdReInit, u"Re-Init Custom Device", 2, 5));
        return s;
    }();
    return desc;
}

struct SListRead {
    int32_t nResult = 0;
    std::vector<std::string> pieces;
};

struct SDeviceRow {
    int nId = 0;
    std::string strVid, strPid;
};
struct SDeviceRead {
    bool bFailed = false;
    std::vector<SDeviceRow> rows;
};

std::u16string TypeTitle(int nType) { return Latin1ToU16(model::CustomTypeTitle(nType)); }

class CCustomDevicePage final : public CPageLogic {
public:
    using CPageLogic::CPageLogic;

    const SDialogDesc& Desc() const override { return CustomDeviceDesc(); }

    // Reads when the user chooses a view.
    void ReadFromHub(std::function<void(bool)> fnDone) override { fnDone(true); }

    void OnInit() override {
        View().ComboClear(kIdView);
        for (const char16_t* psz : {u"Custom Device", u"List USB ID", u"Find DevID match USB VID/PID"})
            View().ComboAdd(kIdView, psz);
        View().ComboClear(kIdListType);
        View().ComboClear(kIdType);
        for (int nType = 0; nType < model::kCustomTypeCount; ++nType) {
            View().ComboAdd(kIdListType, TypeTitle(nType));
            View().ComboAdd(kIdType, TypeTitle(nType));
        }
        View().ComboSelect(kIdType, 0);
        Enable(kIdListType, false);
        ClearView();
    }

    void OnActivated(int nId, int nIndex) override {
        if (nId == kIdView)
            OnViewChosen(nIndex);
        else if (nId == kIdListType)
            OnTypeChosen(nIndex);
    }

    void OnRowClicked(int nId, int nRow) override {
        if (nId == kIdList) OnListRowClicked(nRow);
    }

    void OnClicked(int nId) override {
        if (nId == kIdAdd)
            OnAddOrDelete(ECustomDeviceAction::Add);
        else if (nId == kIdDelete)
            OnAddOrDelete(ECustomDeviceAction::Delete);
        else if (nId == kIdReInit)
            OnReInit();
    }

private:
    void Warn(const std::u16string& strText) { Message(strText, EMsgIcon::Warning); }

    void ClearView() {
        View().ListClear(kIdList);
        SetText(kIdVid, {});
        SetText(kIdPid, {});
    }

    void AddIdRows(const std::vector<std::string>& pieces, const std::u16string& strType) {
        int nNo = 0;
        for (const std::string& strPiece : pieces) {
            const SIdCells cells = IdCells(strPiece);
            View().ListAddRow(kIdList,
                              {NumberText(nNo++), {}, Latin1ToU16(cells.strVid), Latin1ToU16(cells.strPid), strType});
        }
    }

    void OnViewChosen(int nView) {
        ClearView();
        if (nView == kViewCustom) {
            Enable(kIdListType, true);
            return;
        }
        Enable(kIdListType, false);
        client::CHubClient hub = Hub();
        if (nView == kViewUsb) {
            StartJob<SListRead>(
                Jobs(),
                [hub]() mutable {
                    SListRead r;
                    r.nResult = hub.ReadUsbList(r.pieces).nCode;
                    return r;
                },
                [this](SListRead read) {
                    if (read.nResult != 0) {
                        Warn(kMsgUsbFailed);
                        return;
                    }
                    AddIdRows(read.pieces, {});
                });
        } else if (nView == kViewDevIds) {
            StartJob<SDeviceRead>(
                Jobs(),
                [hub]() mutable {
                    std::vector<int> ids;
                    SDeviceRead r;
                    if (!hub.ReadDeviceIds(ids).Ok()) {
                        r.bFailed = true;
                        return r;
                    }
                    for (int nId : ids) {
                        SDeviceRow row{nId, {}, {}};
                        if (!hub.ReadUsbInfo(nId, row.strVid, row.strPid).Ok()) {
                            r.bFailed = true;
                            break;
                        }
                        r.rows.push_back(row);
                    }
                    return r;
                },
                [this](SDeviceRead read) {
                    int nNo = 0;
                    for (const SDeviceRow& row : read.rows)
                        View().ListAddRow(kIdList, {NumberText(nNo++), Latin1ToU16(model::DeviceIdText(row.nId)),
                                                    Latin1ToU16(row.strVid), Latin1ToU16(row.strPid),
                                                    Latin1ToU16(model::DeviceTypeName(row.nId))});
                    if (read.bFailed) Warn(kMsgDevIdFailed);
                });
        }
    }

    void OnTypeChosen(int nType) {
        if (nType < 0 || nType >= model::kCustomTypeCount) return;
        View().ComboSelect(kIdType, nType);
        ClearView();
        client::CHubClient hub = Hub();
        StartJob<SListRead>(
            Jobs(),
            [hub, nType]() mutable {
                SListRead r;
                r.nResult = hub.ReadCustomList(nType, r.pieces).nCode;
                return r;
            },
            [this, nType](SListRead read) {
                if (read.nResult != 0) {
                    Warn(kMsgListFailed);
                    return;
                }
                AddIdRows(read.pieces, TypeTitle(nType));
            });
    }

    void OnListRowClicked(int nRow) {
        SetText(kIdVid, {});
        SetText(kIdPid, {});
        if (nRow < 0) return;
        SetText(kIdVid, View().ListCell(kIdList, nRow, kColVid));
        SetText(kIdPid, View().ListCell(kIdList, nRow, kColPid));
        const std::u16string strType = View().ListCell(kIdList, nRow, kColType);
        if (strType.empty()) return;
        // A kind with no custom list (HID input, unknown) leaves the type as
        // it was, so that no write ever goes out without a type.
        const int nPosition = DeviceTypePositionForName(U16ToUtf8(strType));
        if (nPosition >= 0) View().ComboSelect(kIdType, nPosition);
    }

    void OnAddOrDelete(ECustomDeviceAction eAction) {
        // The length is counted in characters as typed, before anything else.
        const std::u16string vidText = GetText(kIdVid);
        const std::u16string pidText = GetText(kIdPid);
        if (vidText.size() != 4 || pidText.size() != 4) {
            Warn(kMsgBadLength);
            return;
        }
        // Only hexadecimal digits: the library would turn anything else into
        // arbitrary bytes in the hub's table.
        if (!model::IsUsbIdText(vidText) || !model::IsUsbIdText(pidText)) {
            Warn(kMsgNotHexadecimal);
            return;
        }
        const int nType = View().ComboIndex(kIdType);
        if (nType < 0) return;
        const std::string vid = U16ToUtf8(vidText);
        const std::string pid = U16ToUtf8(pidText);
        client::CHubClient hub = Hub();
        StartJob<int32_t>(
            Jobs(),
            [hub, eAction, nType, vid, pid]() mutable {
                return hub.ChangeCustom(
                    eAction == ECustomDeviceAction::Add ? client::ECustomAction::Add : client::ECustomAction::Delete,
                    nType, vid, pid);
            },
            [this, eAction](int32_t nResult) { ShowResult(eAction, nResult); });
    }

    void OnReInit() {
        const int nType = View().ComboIndex(kIdType);
        if (nType < 0) return;
        const std::u16string strType = View().ComboItemText(kIdType, nType);
        if (Message(Arg(u"Remove every custom device of the type \"%1\" from the hub?", strType), EMsgIcon::Question,
                    EMsgButtons::YesNo) != EMsgResult::Yes)
            return;
        client::CHubClient hub = Hub();
        StartJob<int32_t>(
            Jobs(), [hub, nType]() mutable { return hub.ChangeCustom(client::ECustomAction::Reset, nType); },
            [this](int32_t nResult) { ShowResult(ECustomDeviceAction::ReInit, nResult); });
    }

    void ShowResult(ECustomDeviceAction eAction, int32_t nResult) {
        Warn(Latin1ToU16(CustomDeviceResultText(eAction, nResult)));
        if (nResult == 0) Warn(kMsgPowerCycle);
    }
};

}  // namespace

std::unique_ptr<CPageLogic> MakeCustomDevicePage(const SPageContext& context) {
    return std::make_unique<CCustomDevicePage>(context);
}

}  // namespace vexal::utility
