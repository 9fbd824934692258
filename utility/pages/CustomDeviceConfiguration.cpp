// The custom device page (dialog 143): the hub's table of custom USB devices
// per device type, and two views of what is attached now (the USB list and
// the device IDs with their USB identifiers).
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <array>
#include <vector>

#include "client/HubClient.h"
#include "model/CustomDevices.h"
#include "model/SerialLine.h"
#include "model/TextFields.h"
#include "utility/SettingsPages.h"
#include "utility/pages/PageLists.h"
#include "utility/pages/PageWidgets.h"

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

const char kMsgListFailed[] = "Failed to custom device list.";           // 150
const char kMsgUsbFailed[] = "Failed to USB ID list.";                    // 151
const char kMsgDevIdFailed[] = "Fail to find Device ID match USB VID/PID";  // 152
const char kMsgBadLength[] = "The VID/PID length is invalid.";            // 153
const char kMsgNotHexadecimal[] = "The VID/PID is not hexadecimal.";
const char kMsgPowerCycle[] = "Please, turn off the printer and turn on the printer";  // 141

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

class CCustomDeviceConfiguration final : public CSettingsPage {
public:
    CCustomDeviceConfiguration(const SQtPageContext& context, QWidget* pParent) : CSettingsPage(143, context, pParent) {
        setWindowTitle(tr("Custom Device Configuration"));
        auto* pView = new QListWidget(this);
        Register(kIdView, pView, tr("View"));
        pView->addItems({tr("Custom Device"), tr("List USB ID"), tr("Find DevID match USB VID/PID")});
        pView->setMinimumWidth(pView->sizeHintForColumn(0) + 2 * pView->frameWidth() + 4);
        auto* pListType = new QListWidget(this);
        Register(kIdListType, pListType, tr("Device type of the list"));
        auto* pType = MakeCombo(kIdType, tr("Device Type"));
        for (int nType = 0; nType < model::kCustomTypeCount; ++nType) {
            pListType->addItem(tr(model::CustomTypeTitle(nType)));
            pType->addItem(tr(model::CustomTypeTitle(nType)));
        }
        pListType->setMinimumWidth(pListType->sizeHintForColumn(0) + 2 * pListType->frameWidth() + 4);
        auto* pList = MakeListView(kIdList, {tr("No."), tr("ID"), tr("VID"), tr("PID"), tr("Device Type")},
                                   tr("Devices"));
        pList->setAllColumnsShowFocus(true);
        pList->setMinimumWidth(560);
        pList->header()->setDefaultAlignment(Qt::AlignCenter);
        pList->setStyleSheet(QStringLiteral("QTreeView::item { padding-top: 7px; padding-bottom: 8px; }"));
        // With w a fifth of the view less 2: w-45, w-20, w-20, w-20, w+110.
        const int w = pList->minimumWidth() / 5 - 2;
        const int widths[] = {w - 45, w - 20, w - 20, w - 20, w + 110};
        for (int i = 0; i < 5; ++i)
            pList->setColumnWidth(i, widths[i]);

        auto* pGet = MakeGroup(tr("Get Custom Device"));
        auto* pGetLayout = new QHBoxLayout(pGet);
        pGetLayout->addWidget(pView);
        pGetLayout->addWidget(pListType);
        pGetLayout->addWidget(pList, 1);

        auto* pSetGroup = MakeGroup(tr("Set/Del Custom Device"));
        auto* pSetGrid = new QGridLayout(pSetGroup);
        auto* pVid = MakeEdit(kIdVid, tr("VID(Hex)"));
        auto* pPid = MakeEdit(kIdPid, tr("PID(Hex)"));
        pVid->setMaxLength(4);
        pPid->setMaxLength(4);
        pSetGrid->addWidget(MakeLabel(tr("&VID(Hex) :"), pVid), 0, 0);
        pSetGrid->addWidget(pVid, 0, 1);
        pSetGrid->addWidget(MakeLabel(tr("&PID(Hex) :"), pPid), 0, 2);
        pSetGrid->addWidget(pPid, 0, 3);
        pSetGrid->addWidget(MakeLabel(tr("Device &Type :"), pType), 0, 4);
        pSetGrid->addWidget(pType, 0, 5);
        pSetGrid->addWidget(MakeButton(kIdAdd, tr("Add Custom Device")), 1, 1);
        pSetGrid->addWidget(MakeButton(kIdDelete, tr("Delete Custom Device")), 1, 3);
        pSetGrid->addWidget(MakeButton(kIdReInit, tr("Re-Init Custom Device")), 1, 5);

        auto* pLayout = new QVBoxLayout(this);
        pLayout->addWidget(pGet, 1);
        pLayout->addWidget(pSetGroup);

        ComboSelect(kIdType, 0);
        Enable(kIdListType, false);

        // The user's choices: a selection made by click or key (the focus
        // alone makes an entry current without selecting it, and filling
        // never selects), and a click on the entry already chosen, which
        // reads it anew.
        connect(pView, &QListWidget::itemSelectionChanged, this, [this, pView] {
            if (const int nRow = SelectedRow(pView); nRow >= 0)
                OnViewChosen(nRow);
        });
        connect(pListType, &QListWidget::itemSelectionChanged, this, [this, pListType] {
            if (const int nRow = SelectedRow(pListType); nRow >= 0)
                OnTypeChosen(nRow);
        });
        connect(pView, &QListWidget::itemPressed, this, [this, pView](QListWidgetItem* pItem) {
            if (pView->row(pItem) == m_nViewRowBeforePress)
                OnViewChosen(m_nViewRowBeforePress);
        });
        connect(pListType, &QListWidget::itemPressed, this, [this, pListType](QListWidgetItem* pItem) {
            if (pListType->row(pItem) == m_nTypeRowBeforePress)
                OnTypeChosen(m_nTypeRowBeforePress);
        });
        pView->viewport()->installEventFilter(this);
        pListType->viewport()->installEventFilter(this);
        connect(pList, &QTreeWidget::itemClicked, this,
                [this, pList](QTreeWidgetItem* pItem, int) { OnRowClicked(pList->indexOfTopLevelItem(pItem)); });
        OnClicked(kIdAdd, [this] { OnAddOrDelete(ECustomDeviceAction::Add); });
        OnClicked(kIdDelete, [this] { OnAddOrDelete(ECustomDeviceAction::Delete); });
        OnClicked(kIdReInit, [this] { OnReInit(); });
    }

    // Reads when the user chooses a view.
    void ReadFromHub(std::function<void(bool)> fnDone) override { fnDone(true); }

protected:
    // Notes which entry was chosen before a press, so that the press can
    // tell a new choice (already handled) from the same one again.
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override {
        if (pEvent->type() == QEvent::MouseButtonPress) {
            if (auto* pView = ControlAs<QListWidget>(kIdView); pView != nullptr && pWatched == pView->viewport())
                m_nViewRowBeforePress = SelectedRow(pView);
            if (auto* pType = ControlAs<QListWidget>(kIdListType); pType != nullptr && pWatched == pType->viewport())
                m_nTypeRowBeforePress = SelectedRow(pType);
        }
        return CSettingsPage::eventFilter(pWatched, pEvent);
    }

private:
    static int SelectedRow(const QListWidget* pList) {
        const auto selected = pList->selectedItems();
        return selected.isEmpty() ? -1 : pList->row(selected.front());
    }

    void Warn(const QString& strText) { Message(strText, EMsgIcon::Warning); }

    void ClearView() {
        ListClear(kIdList);
        SetText(kIdVid, QString());
        SetText(kIdPid, QString());
    }

    // Every cell centred, as the columns are.
    void AddRow(const QStringList& cells) {
        const int nRow = ListAddRow(kIdList, cells);
        if (auto* pList = ControlAs<QTreeWidget>(kIdList); pList != nullptr && nRow >= 0)
            for (int i = 0; i < pList->columnCount(); ++i)
                pList->topLevelItem(nRow)->setTextAlignment(i, Qt::AlignCenter);
    }

    void AddIdRows(const std::vector<std::string>& pieces, const QString& strType) {
        int nNo = 0;
        for (const std::string& strPiece : pieces) {
            const SIdCells cells = IdCells(strPiece);
            AddRow({QString::number(nNo++), QString(), QString::fromStdString(cells.strVid),
                    QString::fromStdString(cells.strPid), strType});
        }
    }

    void OnViewChosen(int nView) {
        ClearView();
        if (nView == kViewCustom) {
            Enable(kIdListType, true);
            return;
        }
        Enable(kIdListType, false);
        const auto& api = Api();
        const int32_t nSession = Session();
        if (nView == kViewUsb) {
            StartJob<SListRead>(
                [&api, nSession] {
                    SListRead r;
                    r.nResult = client::CHubClient(api, nSession).ReadUsbList(r.pieces).nCode;
                    return r;
                },
                [this](SListRead read) {
                    if (read.nResult != 0) {
                        Warn(tr(kMsgUsbFailed));
                        return;
                    }
                    AddIdRows(read.pieces, QString());
                });
        } else if (nView == kViewDevIds) {
            StartJob<SDeviceRead>(
                [&api, nSession] {
                    client::CHubClient hub(api, nSession);
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
                        AddRow({QString::number(nNo++), ToQString(model::DeviceIdText(row.nId)),
                                QString::fromStdString(row.strVid), QString::fromStdString(row.strPid),
                                tr(model::DeviceTypeName(row.nId))});
                    if (read.bFailed)
                        Warn(tr(kMsgDevIdFailed));
                });
        }
    }

    void OnTypeChosen(int nType) {
        if (nType < 0 || nType >= model::kCustomTypeCount)
            return;
        ComboSelect(kIdType, nType);
        ClearView();
        const auto& api = Api();
        const int32_t nSession = Session();
        const auto nTypeByte = static_cast<uint8_t>(nType);
        StartJob<SListRead>(
            [&api, nSession, nTypeByte] {
                SListRead r;
                r.nResult = client::CHubClient(api, nSession).ReadCustomList(nTypeByte, r.pieces).nCode;
                return r;
            },
            [this, nType](SListRead read) {
                if (read.nResult != 0) {
                    Warn(tr(kMsgListFailed));
                    return;
                }
                AddIdRows(read.pieces, tr(model::CustomTypeTitle(nType)));
            });
    }

    void OnRowClicked(int nRow) {
        SetText(kIdVid, QString());
        SetText(kIdPid, QString());
        if (nRow < 0)
            return;
        SetText(kIdVid, ListCell(kIdList, nRow, kColVid));
        SetText(kIdPid, ListCell(kIdList, nRow, kColPid));
        const QString strType = ListCell(kIdList, nRow, kColType);
        if (strType.isEmpty())
            return;
        // A kind with no custom list (HID input, unknown) leaves the type as
        // it was, so that no write ever goes out without a type.
        const int nPosition = DeviceTypePositionForName(strType.toStdString());
        if (nPosition >= 0)
            ComboSelect(kIdType, nPosition);
    }

    void OnAddOrDelete(ECustomDeviceAction eAction) {
        // The length is counted in characters as typed, before anything else.
        if (GetText(kIdVid).size() != 4 || GetText(kIdPid).size() != 4) {
            Warn(tr(kMsgBadLength));
            return;
        }
        const std::string vid = GetText(kIdVid).toStdString();
        const std::string pid = GetText(kIdPid).toStdString();
        // Only hexadecimal digits: the library would turn anything else into
        // arbitrary bytes in the hub's table.
        if (!model::IsUsbIdText(vid) || !model::IsUsbIdText(pid)) {
            Warn(tr(kMsgNotHexadecimal));
            return;
        }
        const int nType = ComboIndex(kIdType);
        if (nType < 0)
            return;
        const auto nTypeByte = static_cast<uint8_t>(nType);
        const auto& api = Api();
        const int32_t nSession = Session();
        StartJob<int32_t>(
            [&api, nSession, eAction, nTypeByte, vid, pid] {
                return client::CHubClient(api, nSession)
                    .ChangeCustom(eAction == ECustomDeviceAction::Add ? client::ECustomAction::Add
                                                                      : client::ECustomAction::Delete,
                                  nTypeByte, vid, pid);
            },
            [this, eAction](int32_t nResult) { ShowResult(eAction, nResult); });
    }

    void OnReInit() {
        const int nType = ComboIndex(kIdType);
        if (nType < 0)
            return;
        const QString strType = ComboItemText(kIdType, nType);
        if (Message(tr("Remove every custom device of the type \"%1\" from the hub?").arg(strType), EMsgIcon::Question,
                    EMsgButtons::YesNo) != EMsgResult::Yes)
            return;
        const auto nTypeByte = static_cast<uint8_t>(nType);
        const auto& api = Api();
        const int32_t nSession = Session();
        StartJob<int32_t>(
            [&api, nSession, nTypeByte] {
                return client::CHubClient(api, nSession).ChangeCustom(client::ECustomAction::Reset, nTypeByte);
            },
            [this](int32_t nResult) { ShowResult(ECustomDeviceAction::ReInit, nResult); });
    }

    int m_nViewRowBeforePress = -1;
    int m_nTypeRowBeforePress = -1;

    void ShowResult(ECustomDeviceAction eAction, int32_t nResult) {
        Warn(ToQString(CustomDeviceResultText(eAction, nResult)));
        if (nResult == 0)
            Warn(tr(kMsgPowerCycle));
    }
};

}  // namespace

std::unique_ptr<CSettingsPage> CreateCustomDeviceConfiguration(const SQtPageContext& context, QWidget* pParent) {
    return std::make_unique<CCustomDeviceConfiguration>(context, pParent);
}

}  // namespace vexal::utility
