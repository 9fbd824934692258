#include "utility/qt/DialogBase.h"

#include "model/HubText.h"
#include "utility/qt/LibraryWorker.h"
#include "utility/qt/WaitCursor.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QValidator>

#include <algorithm>

namespace vexal::utility {

namespace {

// Pasted text can carry control characters (typing cannot); the hub's
// records end at a CR or a NUL, so they never get into a field. Nor does a
// character the hub's code page cannot hold: it would reach the hub as "?".
// An edit of digits only (or hex digits) refuses a paste holding anything
// else whole, as it refuses one holding a control character.
class CPlainTextValidator final : public QValidator {
public:
    explicit CPlainTextValidator(QObject* pParent, EInput eInput = EInput::Text)
        : QValidator(pParent), m_eInput(eInput) {}
    State validate(QString& input, int&) const override {
        const std::u16string text = input.toStdU16String();
        if (model::HasControlCharacter(text) || !model::FitsHubCodePage(text)) return Invalid;
        for (char16_t ch : text) {
            const bool bDigit = ch >= u'0' && ch <= u'9';
            const bool bHex = bDigit || (ch >= u'a' && ch <= u'f') || (ch >= u'A' && ch <= u'F');
            if ((m_eInput == EInput::Digits && !bDigit) || (m_eInput == EInput::HexDigits && !bHex)) return Invalid;
        }
        return Acceptable;
    }

private:
    EInput m_eInput;
};

QString Q(const std::u16string& s) { return QString::fromStdU16String(s); }
std::u16string U(const QString& s) { return s.toStdU16String(); }

// The windows without a caption (the progress pop-up) that are alive; a
// message box hides them. UI thread only.
std::vector<CDialogBase*>& LivePopups() {
    static std::vector<CDialogBase*> s_popups;
    return s_popups;
}

// Qt reports a pick of the entry already shown like any other: notes the
// entry shown when the user begins to act on the drop-down (a key, a press,
// the wheel, its list opening by any means) so that such a pick is told apart.
class CChoiceStart final : public QObject {
public:
    explicit CChoiceStart(QComboBox* pCombo) : QObject(pCombo), m_pCombo(pCombo) {
        pCombo->installEventFilter(this);
        if (QWidget* pPopup = pCombo->view()->parentWidget()) pPopup->installEventFilter(this);
    }
    // Whether nIndex, just picked, differs from the entry shown before.
    bool IsChange(int nIndex) {
        const bool bChange = nIndex != m_nStart;
        m_nStart = nIndex;
        return bChange;
    }

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override {
        const QEvent::Type eType = pEvent->type();
        if (pWatched == m_pCombo
                ? (eType == QEvent::KeyPress || eType == QEvent::MouseButtonPress || eType == QEvent::Wheel)
                : eType == QEvent::Show)
            m_nStart = m_pCombo->currentIndex();
        return false;
    }

private:
    QComboBox* m_pCombo;
    int m_nStart = -2;  // unknown: the first pick counts as a change
};

int ChosenRow(const QListWidget* pList) {
    const auto selected = pList->selectedItems();
    return selected.isEmpty() ? -1 : pList->row(selected.front());
}

// A list box's picks: a selection the user makes by click or key (focus
// alone makes an entry current without selecting it), and a press on the
// entry already chosen, which picks it again. Notes the chosen entry before
// each press to tell the two apart.
class CListBoxPicks final : public QObject {
public:
    CListBoxPicks(QListWidget* pList, std::function<void(int)> fnPicked)
        : QObject(pList), m_pList(pList), m_fnPicked(std::move(fnPicked)) {
        pList->viewport()->installEventFilter(this);
        connect(pList, &QListWidget::itemSelectionChanged, this, [this] {
            if (const int nRow = ChosenRow(m_pList); nRow >= 0) m_fnPicked(nRow);
        });
        connect(pList, &QListWidget::itemPressed, this, [this](QListWidgetItem* pItem) {
            if (const int nRow = m_pList->row(pItem); nRow >= 0 && nRow == m_nBeforePress) m_fnPicked(nRow);
        });
    }

protected:
    bool eventFilter(QObject*, QEvent* pEvent) override {
        if (pEvent->type() == QEvent::MouseButtonPress) m_nBeforePress = ChosenRow(m_pList);
        return false;
    }

private:
    QListWidget* m_pList;
    std::function<void(int)> m_fnPicked;
    int m_nBeforePress = -1;
};

// A list box is at least as wide as its longest entry.
void FitListBox(QListWidget* pList) {
    pList->setMinimumWidth(std::max(pList->minimumWidth(), pList->sizeHintForColumn(0) + 2 * pList->frameWidth() + 4));
}

// Cells of a list view whose columns are centred are centred too.
const char kCentredProperty[] = "vexalCentred";

}  // namespace

// What the logic sees: the window's accessors in UTF-16, and the window
// services that need the renderer (timers, busy state, child windows).
class CDialogBase::CView final : public IDialogView {
public:
    explicit CView(CDialogBase& dlg) : m_dlg(dlg) {}

    std::u16string GetText(int nId) const override { return U(m_dlg.GetText(nId)); }
    void SetText(int nId, const std::u16string& strText) override { m_dlg.SetText(nId, Q(strText)); }
    bool IsChecked(int nId) const override { return m_dlg.IsChecked(nId); }
    void SetCheck(int nId, bool bChecked) override { m_dlg.SetCheck(nId, bChecked); }
    void Enable(int nId, bool bEnable) override { m_dlg.Enable(nId, bEnable); }
    bool IsEnabled(int nId) const override { return m_dlg.IsEnabled(nId); }
    void Show(int nId, bool bShow) override { m_dlg.Show(nId, bShow); }
    bool IsShown(int nId) const override { return m_dlg.IsShown(nId); }
    void Focus(int nId) override {
        if (QWidget* p = m_dlg.Control(nId)) p->setFocus(Qt::OtherFocusReason);
    }
    void ComboClear(int nId) override { m_dlg.ComboClear(nId); }
    void ComboAdd(int nId, const std::u16string& strText) override { m_dlg.ComboAdd(nId, Q(strText)); }
    int ComboCount(int nId) const override { return m_dlg.ComboCount(nId); }
    int ComboIndex(int nId) const override { return m_dlg.ComboIndex(nId); }
    void ComboSelect(int nId, int nIndex) override { m_dlg.ComboSelect(nId, nIndex); }
    std::u16string ComboItemText(int nId, int nIndex) const override { return U(m_dlg.ComboItemText(nId, nIndex)); }
    void ListClear(int nId) override { m_dlg.ListClear(nId); }
    int ListAddRow(int nId, const std::vector<std::u16string>& cells) override {
        QStringList row;
        for (const auto& cell : cells) row.push_back(Q(cell));
        return m_dlg.ListAddRow(nId, row);
    }
    int ListRowCount(int nId) const override { return m_dlg.ListRowCount(nId); }
    std::u16string ListCell(int nId, int nRow, int nColumn) const override {
        return U(m_dlg.ListCell(nId, nRow, nColumn));
    }
    int ListSelectedRow(int nId) const override { return m_dlg.ListSelectedRow(nId); }
    void ListSelectRow(int nId, int nRow) override { m_dlg.ListSelectRow(nId, nRow); }
    void SetIpv4(int nId, const Ipv4Octets& octets) override { m_dlg.SetIpv4(nId, octets); }
    Ipv4Octets GetIpv4(int nId) const override { return m_dlg.GetIpv4(nId); }
    void SetProgress(int nId, int nValue, int nMaximum) override { m_dlg.SetProgress(nId, nValue, nMaximum); }
    int ProgressValue(int nId) const override { return m_dlg.ProgressValue(nId); }

    void SetTitle(const std::u16string& strTitle) override { m_dlg.setWindowTitle(Q(strTitle)); }
    bool IsVisible() const override { return m_dlg.isVisible(); }
    void Close(int nResult) override { m_dlg.done(nResult); }
    void SetBusy(bool bBusy) override { m_dlg.SetBusy(bBusy); }
    void StartTimer(int nTimerId, int nMs) override { m_dlg.StartTimer(nTimerId, nMs); }
    void StopTimer(int nTimerId) override { m_dlg.StopTimer(nTimerId); }
    EMsgResult Message(const std::u16string& strText, EMsgIcon eIcon, EMsgButtons eButtons) override {
        return m_dlg.Message(Q(strText), eIcon, eButtons);
    }
    int RunModal(CDialogLogic& child) override { return m_dlg.RunModal(child); }
    void ShowModeless(CDialogLogic& child) override { m_dlg.ShowModeless(child); }
    void HideModeless(CDialogLogic& child) override { m_dlg.HideModeless(child); }
    bool PrepareChild(CDialogLogic& child) override { return m_dlg.PrepareChild(child); }
    void ReleaseChild(CDialogLogic& child) override { m_dlg.ReleaseChild(child); }
    std::optional<std::string> ChooseFile(const SFileChoice& choice) override {
        const auto file = m_dlg.Services().ChooseFile(&m_dlg, choice);
        if (!file) return std::nullopt;
        return file->toStdString();
    }

private:
    CDialogBase& m_dlg;
};

CDialogBase::CDialogBase(CDialogLogic& logic, IDialogServices& services, QWidget* pParent)
    : QDialog(pParent), m_nDialogId(logic.DialogId()), m_services(services), m_pView(std::make_unique<CView>(*this)) {
    setObjectName(QString::number(m_nDialogId));
    setSizeGripEnabled(false);
    const SDialogDesc& desc = logic.Desc();
    m_bEscapeCloses = desc.bEscapeCloses;
    if (desc.bNoCaption) {
        m_bPopup = true;
        setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
        setWindowModality(Qt::ApplicationModal);
        LivePopups().push_back(this);
    }
    Build(desc);
    m_pLogic = &logic;
    logic.Attach(m_pView.get());
    logic.OnInit();
}

CDialogBase::~CDialogBase() {
    DetachLogic();
    auto& popups = LivePopups();
    popups.erase(std::remove(popups.begin(), popups.end(), this), popups.end());
}

IDialogView& CDialogBase::View() const { return *m_pView; }

void CDialogBase::DetachLogic() {
    // The child windows' logics may go with this one's.
    for (auto* pChildren : {&m_modeless, &m_prepared})
        for (auto& [pLogic, pWindow] : *pChildren)
            if (pWindow != nullptr) pWindow->DetachLogic();
    if (m_pLogic == nullptr) return;
    for (auto& [nId, pTimer] : m_timers) pTimer->stop();
    m_wantedTimers.clear();
    m_pLogic->Attach(nullptr);
    m_pLogic = nullptr;
}

CDialogBase* CDialogBase::ModelessWindow(const CDialogLogic& child) const {
    auto it = m_modeless.find(&child);
    return it == m_modeless.end() ? nullptr : it->second.data();
}

// A caption without its mnemonic marker, as a screen reader should say it.
static QString PlainCaption(const QString& strCaption) {
    QString strPlain = strCaption;
    strPlain.remove(QLatin1Char('&'));
    return strPlain;
}

QWidget* CDialogBase::MakeFromDesc(const SControlDesc& c) {
    const QString strCaption = Q(c.strCaption);
    QWidget* p = nullptr;
    switch (c.eKind) {
    case EControl::Label: {
        auto* pLabel = new QLabel(strCaption, this);
        if (c.nId != 0) Register(c.nId, pLabel, {});
        p = pLabel;
        break;
    }
    case EControl::Value: p = MakeStatic(c.nId, strCaption); break;
    case EControl::Edit: {
        auto* pEdit = MakeEdit(c.nId, strCaption);
        pEdit->setValidator(new CPlainTextValidator(pEdit, c.eInput));
        if (c.nMaxLength > 0) pEdit->setMaxLength(c.nMaxLength);
        pEdit->setReadOnly(c.bReadOnly);
        if (c.bPassword) pEdit->setEchoMode(QLineEdit::Password);
        if (!c.strPlaceholder.empty()) pEdit->setPlaceholderText(Q(c.strPlaceholder));
        p = pEdit;
        break;
    }
    case EControl::Button: p = MakeButton(c.nId, strCaption); break;
    case EControl::Radio: {
        auto* pRadio = MakeRadio(c.nId, strCaption);
        // Exclusive per group, not per parent widget, so radios of several
        // groups can share a layout: a button group overrides the parent's
        // auto-exclusivity, which stays on so that screen readers hear a
        // radio button (without it Qt announces a check box).
        QButtonGroup*& pGroup = m_radioGroups[c.nGroup];
        if (pGroup == nullptr) pGroup = new QButtonGroup(this);
        pGroup->addButton(pRadio);
        p = pRadio;
        break;
    }
    case EControl::Check: p = MakeCheck(c.nId, strCaption); break;
    case EControl::Combo: p = MakeCombo(c.nId, strCaption); break;
    case EControl::ListView: {
        QStringList columns;
        for (const auto& col : c.columns) columns.push_back(Q(col));
        auto* pList = MakeListView(c.nId, columns, strCaption);
        const int nChar = fontMetrics().averageCharWidth();
        for (size_t i = 0; i < c.columnWidths.size() && i < c.columns.size(); ++i) {
            if (c.columnWidths[i] > 0)
                pList->setColumnWidth(static_cast<int>(i), c.columnWidths[i] * nChar);
            else
                pList->header()->setSectionResizeMode(static_cast<int>(i), QHeaderView::ResizeToContents);
        }
        if (c.nHeightLines > 0)
            pList->setMinimumHeight(pList->header()->sizeHint().height() +
                                    (c.nHeightLines + 1) * fontMetrics().height());
        if (c.bCentred) {
            pList->header()->setDefaultAlignment(Qt::AlignCenter);
            pList->setProperty(kCentredProperty, true);
        }
        if (c.nRowExtraPixels > 0) {
            const int nTop = c.nRowExtraPixels / 2;
            pList->setStyleSheet(QStringLiteral("QTreeView::item { padding-top: %1px; padding-bottom: %2px; }")
                                     .arg(nTop)
                                     .arg(c.nRowExtraPixels - nTop));
        }
        p = pList;
        break;
    }
    case EControl::ListBox: {
        auto* pList = new QListWidget(this);
        pList->setSelectionMode(QAbstractItemView::SingleSelection);
        Register(c.nId, pList, strCaption);
        FitListBox(pList);
        p = pList;
        break;
    }
    case EControl::Ipv4: p = MakeIpv4(c.nId, strCaption); break;
    case EControl::Progress: {
        auto* pBar = MakeProgressBar(c.nId, strCaption);
        pBar->setTextVisible(!m_bPopup);
        p = pBar;
        break;
    }
    case EControl::Group: {
        auto* pGroup = MakeGroup(strCaption);
        if (c.nId != 0) Register(c.nId, pGroup, PlainCaption(strCaption));
        new QGridLayout(pGroup);
        p = pGroup;
        break;
    }
    }
    if (p == nullptr) return nullptr;
    if (auto* pLabel = qobject_cast<QLabel*>(p)) {
        pLabel->setWordWrap(c.bWordWrap);
        if (c.bCentred) pLabel->setAlignment(Qt::AlignCenter);
    }
    if (!c.strAccessibleName.empty()) p->setAccessibleName(Q(c.strAccessibleName));
    if (c.nWidthChars > 0) p->setMinimumWidth(c.nWidthChars * fontMetrics().averageCharWidth());
    if (c.bDisabled) p->setEnabled(false);
    return p;
}

void CDialogBase::Build(const SDialogDesc& desc) {
    setWindowTitle(Q(desc.strTitle));
    auto* pGrid = new QGridLayout;
    auto* pButtons = new QHBoxLayout;
    bool bButtonStretch = false;
    for (const auto& c : desc.controls) bButtonStretch = bButtonStretch || (c.bButtonRow && c.bStretchBefore);
    if (!bButtonStretch) pButtons->addStretch(1);  // right-aligned

    // Groups first: a control in the cells a group covers goes into its frame.
    struct SPlaced {
        const SControlDesc* pDesc;
        QGroupBox* pBox;
    };
    std::vector<SPlaced> groups;
    for (const auto& c : desc.controls)
        if (c.eKind == EControl::Group && !c.bButtonRow) groups.push_back({&c, nullptr});
    auto groupOf = [&](const SControlDesc& c) -> SPlaced* {
        for (auto& g : groups) {
            const SControlDesc& gs = *g.pDesc;
            if (&gs != &c && c.nRow >= gs.nRow && c.nRow < gs.nRow + gs.nRowSpan && c.nColumn >= gs.nColumn &&
                c.nColumn < gs.nColumn + gs.nColumnSpan)
                return &g;
        }
        return nullptr;
    };

    // Controls sharing a cell lie side by side in one row of their own.
    std::map<std::pair<QGridLayout*, std::pair<int, int>>, QHBoxLayout*> cells;
    std::vector<std::pair<QLabel*, int>> buddies;
    std::vector<QWidget*> hidden;
    for (const auto& c : desc.controls) {
        QWidget* p = MakeFromDesc(c);
        if (p == nullptr) continue;
        if (c.eKind == EControl::Group)
            for (auto& g : groups)
                if (g.pDesc == &c) g.pBox = qobject_cast<QGroupBox*>(p);
        if (c.eKind == EControl::Label && c.nBuddy != 0) buddies.emplace_back(qobject_cast<QLabel*>(p), c.nBuddy);
        if (c.bHidden) hidden.push_back(p);
        if (c.bButtonRow) {
            if (c.bStretchBefore) pButtons->addStretch(1);
            pButtons->addWidget(p);
            continue;
        }
        QGridLayout* pTarget = pGrid;
        int nRow = c.nRow, nColumn = c.nColumn;
        if (SPlaced* pGroup = groupOf(c); pGroup != nullptr && pGroup->pBox != nullptr) {
            pTarget = qobject_cast<QGridLayout*>(pGroup->pBox->layout());
            nRow -= pGroup->pDesc->nRow;
            nColumn -= pGroup->pDesc->nColumn;
        }
        if (c.bStretchColumn) pTarget->setColumnStretch(nColumn, 1);
        const auto key = std::make_pair(pTarget, std::make_pair(nRow, nColumn));
        bool bShared = false;
        for (const auto& o : desc.controls)
            bShared = bShared || (&o != &c && !o.bButtonRow && o.eKind != EControl::Group &&
                                  c.eKind != EControl::Group && o.nRow == c.nRow && o.nColumn == c.nColumn);
        if (!bShared) {
            pTarget->addWidget(p, nRow, nColumn, c.nRowSpan, c.nColumnSpan);
            continue;
        }
        QHBoxLayout*& pCell = cells[key];
        if (pCell == nullptr) {
            pCell = new QHBoxLayout;
            pCell->setContentsMargins(0, 0, 0, 0);
            pTarget->addLayout(pCell, nRow, nColumn, c.nRowSpan, c.nColumnSpan);
        }
        pCell->addWidget(p);
    }
    // A pair of radios keeps to the left; a row of buttons shares the cell's width.
    for (auto& [key, pCell] : cells) {
        bool bButtons = true;
        for (int i = 0; i < pCell->count(); ++i)
            bButtons = bButtons && qobject_cast<QPushButton*>(pCell->itemAt(i)->widget()) != nullptr;
        if (!bButtons) pCell->addStretch(1);
    }
    // A frame taller than its controls (beside a taller one) keeps them at its top.
    for (auto& g : groups)
        if (auto* pInner = g.pBox != nullptr ? qobject_cast<QGridLayout*>(g.pBox->layout()) : nullptr)
            pInner->setRowStretch(pInner->rowCount(), 1);

    for (auto& [pLabel, nBuddy] : buddies) {
        QWidget* pBuddy = Control(nBuddy);
        if (pLabel == nullptr || pBuddy == nullptr) continue;
        pLabel->setBuddy(pBuddy);
        if (pBuddy->accessibleName().isEmpty() && qobject_cast<QLabel*>(pBuddy) == nullptr)
            pBuddy->setAccessibleName(PlainCaption(pLabel->text()).remove(QLatin1Char(':')).trimmed());
    }
    // Every radio of a row is named with the row's caption, not only the
    // one the label points at: "DHCP Mode Disable", not a bare "Disable".
    for (const auto& label : desc.controls) {
        const SControlDesc* pFirst = label.eKind == EControl::Label ? FindControl(desc, label.nBuddy) : nullptr;
        if (pFirst == nullptr || pFirst->eKind != EControl::Radio) continue;
        const QString strRow = PlainCaption(Q(label.strCaption)).remove(QLatin1Char(':')).trimmed();
        for (const auto& r : desc.controls)
            if (r.eKind == EControl::Radio && r.nGroup == pFirst->nGroup && r.nRow == pFirst->nRow &&
                r.strAccessibleName.empty())
                if (QWidget* pRadio = Control(r.nId))
                    pRadio->setAccessibleName(strRow + QLatin1Char(' ') + PlainCaption(Q(r.strCaption)).trimmed());
    }
    for (QWidget* p : hidden) p->hide();

    auto* pLayout = new QVBoxLayout(this);
    if (m_bPopup) pLayout->setContentsMargins(2, 2, 2, 2);
    pLayout->addLayout(pGrid);
    if (pButtons->count() > (bButtonStretch ? 0 : 1))
        pLayout->addLayout(pButtons);
    else
        delete pButtons;

    for (const auto& c : desc.controls)
        if (c.nId != 0) BindToLogic(c);
}

// Every binding reaches the logic through m_pLogic, so a detached window
// forwards nothing.
void CDialogBase::BindToLogic(const SControlDesc& c) {
    const int nId = c.nId;
    switch (c.eKind) {
    case EControl::Button:
    case EControl::Radio:
    case EControl::Check:
        OnClicked(nId, [this, nId] {
            if (m_pLogic != nullptr) m_pLogic->OnClicked(nId);
        });
        break;
    case EControl::Combo:
        OnActivated(nId, [this, nId](int nIndex) {
            if (m_pLogic != nullptr) m_pLogic->OnActivated(nId, nIndex);
        });
        break;
    case EControl::Edit:
    case EControl::Ipv4:
        OnTextEdited(nId, [this, nId](const QString& strText) {
            if (m_pLogic != nullptr) m_pLogic->OnTextEdited(nId, U(strText));
        });
        break;
    case EControl::ListView:
        OnRowSelected(nId, [this, nId](int nRow) {
            if (m_pLogic != nullptr) m_pLogic->OnRowSelected(nId, nRow);
        });
        OnRowActivated(nId, [this, nId](int nRow) {
            if (m_pLogic != nullptr) m_pLogic->OnRowActivated(nId, nRow);
        });
        if (auto* t = ControlAs<QTreeWidget>(nId))
            connect(t, &QTreeWidget::itemClicked, this, [this, t, nId](QTreeWidgetItem* pItem, int) {
                if (m_pLogic != nullptr) m_pLogic->OnRowClicked(nId, t->indexOfTopLevelItem(pItem));
            });
        break;
    case EControl::ListBox:
        if (auto* l = ControlAs<QListWidget>(nId))
            new CListBoxPicks(l, [this, nId](int nRow) {  // owned by the list box
                if (m_pLogic != nullptr) m_pLogic->OnActivated(nId, nRow);
            });
        break;
    default: break;
    }
}

void CDialogBase::StartTimer(int nTimerId, int nMs) {
    QTimer*& pTimer = m_timers[nTimerId];
    if (pTimer == nullptr) {
        pTimer = new QTimer(this);
        pTimer->setTimerType(Qt::PreciseTimer);
        connect(pTimer, &QTimer::timeout, this, [this, nTimerId] {
            if (m_pLogic != nullptr) m_pLogic->OnTimer(nTimerId);
        });
    }
    pTimer->setInterval(std::max(nMs, 1));
    m_wantedTimers.insert(nTimerId);
    if (isVisible()) pTimer->start();
}

void CDialogBase::StopTimer(int nTimerId) {
    m_wantedTimers.erase(nTimerId);
    if (auto it = m_timers.find(nTimerId); it != m_timers.end()) it->second->stop();
}

void CDialogBase::showEvent(QShowEvent* pEvent) {
    QDialog::showEvent(pEvent);
    for (int nId : m_wantedTimers) m_timers[nId]->start();
}

void CDialogBase::hideEvent(QHideEvent* pEvent) {
    for (auto& [nId, pTimer] : m_timers) pTimer->stop();
    QDialog::hideEvent(pEvent);
}

void CDialogBase::SetBusy(bool bBusy) {
    if (bBusy) {
        if (m_nBusy++ == 0) m_pBusy = std::make_unique<CBusyGuard>(this);
    } else if (m_nBusy > 0 && --m_nBusy == 0) {
        m_pBusy.reset();
    }
}

int CDialogBase::RunModal(CDialogLogic& child) {
    if (auto it = m_prepared.find(&child); it != m_prepared.end() && it->second != nullptr) {
        const QPointer<CDialogBase> pWindow = it->second;
        const int nResult = m_services.RunModal(*pWindow);
        ReleaseChild(child);
        return nResult;
    }
    CDialogBase dlg(child, m_services, this);
    return m_services.RunModal(dlg);
}

bool CDialogBase::PrepareChild(CDialogLogic& child) {
    if (m_prepared.count(&child) != 0) return true;
    m_prepared[&child] = new CDialogBase(child, m_services, this);  // owned by this window, not shown
    return true;
}

void CDialogBase::ReleaseChild(CDialogLogic& child) {
    auto it = m_prepared.find(&child);
    if (it == m_prepared.end()) return;
    const QPointer<CDialogBase> pWindow = it->second;
    m_prepared.erase(it);
    if (pWindow != nullptr) {
        pWindow->hide();
        pWindow->DetachLogic();
        pWindow->deleteLater();  // the call may come from one of its own handlers
    }
}

void CDialogBase::ShowModeless(CDialogLogic& child) {
    CDialogBase* pWindow = ModelessWindow(child);
    if (pWindow == nullptr) {
        pWindow = new CDialogBase(child, m_services, this);  // owned by this window
        m_modeless[&child] = pWindow;
    }
    pWindow->show();
    pWindow->raise();
}

void CDialogBase::HideModeless(CDialogLogic& child) {
    auto it = m_modeless.find(&child);
    if (it == m_modeless.end()) return;
    if (CDialogBase* pWindow = it->second) {
        pWindow->hide();
        pWindow->DetachLogic();
        pWindow->deleteLater();  // the call may come from one of its own handlers
    }
    m_modeless.erase(it);
}

void CDialogBase::reject() {
    if (m_pLogic != nullptr && !m_pLogic->OnCloseRequest()) return;
    QDialog::reject();
}

void CDialogBase::keyPressEvent(QKeyEvent* pEvent) {
    if (!m_bEscapeCloses && pEvent->matches(QKeySequence::Cancel)) {
        pEvent->accept();
        return;
    }
    QDialog::keyPressEvent(pEvent);
}

QWidget* CDialogBase::Control(int nId) const {
    auto it = m_controls.find(nId);
    return it == m_controls.end() ? nullptr : it->second;
}

void CDialogBase::Register(int nId, QWidget* pControl, const QString& strAccessibleName) {
    if (pControl == nullptr) return;
    pControl->setObjectName(QString::number(nId));
    if (!strAccessibleName.isEmpty()) pControl->setAccessibleName(strAccessibleName);
    if (auto* pButton = qobject_cast<QPushButton*>(pControl)) {
        pButton->setAutoDefault(false);
        pButton->setDefault(false);
    }
    if (m_controls.emplace(nId, pControl).second)
        m_order.push_back(nId);
    else
        m_controls[nId] = pControl;
}

QPushButton* CDialogBase::MakeButton(int nId, const QString& strCaption, const QString& strAccessibleName) {
    auto* p = new QPushButton(strCaption, this);
    Register(nId, p, strAccessibleName.isEmpty() ? PlainCaption(strCaption) : strAccessibleName);
    return p;
}

QRadioButton* CDialogBase::MakeRadio(int nId, const QString& strCaption) {
    auto* p = new QRadioButton(strCaption, this);
    Register(nId, p, PlainCaption(strCaption));
    return p;
}

QCheckBox* CDialogBase::MakeCheck(int nId, const QString& strCaption) {
    auto* p = new QCheckBox(strCaption, this);
    Register(nId, p, PlainCaption(strCaption));
    return p;
}

QLineEdit* CDialogBase::MakeEdit(int nId, const QString& strAccessibleName) {
    auto* p = new QLineEdit(this);
    p->setValidator(new CPlainTextValidator(p));
    Register(nId, p, strAccessibleName);
    return p;
}

QComboBox* CDialogBase::MakeCombo(int nId, const QString& strAccessibleName) {
    auto* p = new QComboBox(this);
    Register(nId, p, strAccessibleName);
    return p;
}

QLabel* CDialogBase::MakeStatic(int nId, const QString& strText) {
    auto* p = new QLabel(strText, this);
    p->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Register(nId, p, {});
    return p;
}

QTreeWidget* CDialogBase::MakeListView(int nId, const QStringList& columns, const QString& strAccessibleName) {
    auto* p = new QTreeWidget(this);
    p->setRootIsDecorated(false);
    p->setUniformRowHeights(true);
    p->setSelectionMode(QAbstractItemView::SingleSelection);
    p->setSelectionBehavior(QAbstractItemView::SelectRows);
    p->setColumnCount(static_cast<int>(columns.size()));
    p->setHeaderLabels(columns);
    p->header()->setStretchLastSection(true);
    Register(nId, p, strAccessibleName);
    return p;
}

CIpv4Edit* CDialogBase::MakeIpv4(int nId, const QString& strAccessibleName) {
    auto* p = new CIpv4Edit(this);
    p->SetAccessibleBaseName(strAccessibleName);
    Register(nId, p, strAccessibleName);
    return p;
}

QProgressBar* CDialogBase::MakeProgressBar(int nId, const QString& strAccessibleName) {
    auto* p = new QProgressBar(this);
    p->setRange(0, 100);
    p->setValue(0);
    Register(nId, p, strAccessibleName);
    return p;
}

QGroupBox* CDialogBase::MakeGroup(const QString& strCaption) { return new QGroupBox(strCaption, this); }

QString CDialogBase::GetText(int nId) const {
    QWidget* p = Control(nId);
    if (auto* e = qobject_cast<QLineEdit*>(p)) return e->text();
    if (auto* l = qobject_cast<QLabel*>(p)) return l->text();
    if (auto* b = qobject_cast<QAbstractButton*>(p)) return b->text();
    if (auto* c = qobject_cast<QComboBox*>(p)) return c->currentText();
    if (auto* l = qobject_cast<QListWidget*>(p)) {
        const int nRow = ChosenRow(l);
        return nRow >= 0 ? l->item(nRow)->text() : QString();
    }
    if (auto* g = qobject_cast<QGroupBox*>(p)) return g->title();
    return {};
}

void CDialogBase::SetText(int nId, const QString& strText) {
    QWidget* p = Control(nId);
    if (auto* e = qobject_cast<QLineEdit*>(p))
        e->setText(strText);
    else if (auto* l = qobject_cast<QLabel*>(p))
        l->setText(strText);
    else if (auto* b = qobject_cast<QAbstractButton*>(p))
        b->setText(strText);
    else if (auto* c = qobject_cast<QComboBox*>(p); c != nullptr && c->isEditable())
        c->setEditText(strText);
    else if (auto* g = qobject_cast<QGroupBox*>(p))
        g->setTitle(strText);
}

bool CDialogBase::IsChecked(int nId) const {
    auto* b = ControlAs<QAbstractButton>(nId);
    return b != nullptr && b->isChecked();
}

void CDialogBase::SetCheck(int nId, bool bChecked) {
    auto* b = ControlAs<QAbstractButton>(nId);
    if (b == nullptr) return;
    QButtonGroup* pGroup = b->group();
    if (pGroup == nullptr || bChecked || !pGroup->exclusive()) {
        b->setChecked(bChecked);
        return;
    }
    // An exclusive group ignores un-checking its checked button.
    pGroup->setExclusive(false);
    b->setChecked(false);
    pGroup->setExclusive(true);
}

void CDialogBase::Enable(int nId, bool bEnable) {
    if (QWidget* p = Control(nId)) p->setEnabled(bEnable);
}

bool CDialogBase::IsEnabled(int nId) const {
    QWidget* p = Control(nId);
    return p != nullptr && !p->testAttribute(Qt::WA_ForceDisabled);
}

void CDialogBase::Show(int nId, bool bShow) {
    if (QWidget* p = Control(nId)) p->setVisible(bShow);
}

bool CDialogBase::IsShown(int nId) const {
    QWidget* p = Control(nId);
    return p != nullptr && !p->isHidden();
}

// Drop-downs and list boxes alike; a list box's signals are held while the
// logic fills or chooses, so that no handler runs.
void CDialogBase::ComboClear(int nId) {
    if (auto* c = ControlAs<QComboBox>(nId)) {
        c->clear();
    } else if (auto* l = ControlAs<QListWidget>(nId)) {
        const QSignalBlocker blocker(l);
        l->clear();
    }
}

void CDialogBase::ComboAdd(int nId, const QString& strText) {
    if (auto* c = ControlAs<QComboBox>(nId)) {
        c->addItem(strText);
    } else if (auto* l = ControlAs<QListWidget>(nId)) {
        const QSignalBlocker blocker(l);
        l->addItem(strText);
        FitListBox(l);
    }
}

int CDialogBase::ComboCount(int nId) const {
    if (auto* c = ControlAs<QComboBox>(nId)) return c->count();
    if (auto* l = ControlAs<QListWidget>(nId)) return l->count();
    return 0;
}

int CDialogBase::ComboIndex(int nId) const {
    if (auto* c = ControlAs<QComboBox>(nId)) return c->currentIndex();
    if (auto* l = ControlAs<QListWidget>(nId)) return ChosenRow(l);
    return -1;
}

void CDialogBase::ComboSelect(int nId, int nIndex) {
    if (auto* c = ControlAs<QComboBox>(nId); c != nullptr && nIndex >= -1 && nIndex < c->count()) {
        c->setCurrentIndex(nIndex);
    } else if (auto* l = ControlAs<QListWidget>(nId); l != nullptr && nIndex >= -1 && nIndex < l->count()) {
        const QSignalBlocker blocker(l);
        if (nIndex < 0)
            l->clearSelection();
        else
            l->setCurrentRow(nIndex);
    }
}

QString CDialogBase::ComboItemText(int nId, int nIndex) const {
    if (auto* c = ControlAs<QComboBox>(nId)) return c->itemText(nIndex);
    if (auto* l = ControlAs<QListWidget>(nId); l != nullptr && l->item(nIndex) != nullptr)
        return l->item(nIndex)->text();
    return {};
}

void CDialogBase::ListClear(int nId) {
    if (auto* t = ControlAs<QTreeWidget>(nId)) t->clear();
}

int CDialogBase::ListAddRow(int nId, const QStringList& cells) {
    auto* t = ControlAs<QTreeWidget>(nId);
    if (t == nullptr) return -1;
    auto* pItem = new QTreeWidgetItem(cells);
    if (t->property(kCentredProperty).toBool())
        for (int i = 0; i < t->columnCount(); ++i) pItem->setTextAlignment(i, Qt::AlignCenter);
    t->addTopLevelItem(pItem);  // the view owns its items
    return t->topLevelItemCount() - 1;
}

int CDialogBase::ListRowCount(int nId) const {
    auto* t = ControlAs<QTreeWidget>(nId);
    return t != nullptr ? t->topLevelItemCount() : 0;
}

QString CDialogBase::ListCell(int nId, int nRow, int nColumn) const {
    auto* t = ControlAs<QTreeWidget>(nId);
    QTreeWidgetItem* pItem = t != nullptr ? t->topLevelItem(nRow) : nullptr;
    return pItem != nullptr ? pItem->text(nColumn) : QString();
}

int CDialogBase::ListSelectedRow(int nId) const {
    auto* t = ControlAs<QTreeWidget>(nId);
    if (t == nullptr) return -1;
    const auto selected = t->selectedItems();
    return selected.isEmpty() ? -1 : t->indexOfTopLevelItem(selected.front());
}

void CDialogBase::ListSelectRow(int nId, int nRow) {
    auto* t = ControlAs<QTreeWidget>(nId);
    if (t == nullptr) return;
    QTreeWidgetItem* pItem = t->topLevelItem(nRow);
    if (pItem == nullptr)
        t->clearSelection();
    else
        t->setCurrentItem(pItem);
}

void CDialogBase::SetIpv4(int nId, const Ipv4Octets& octets) {
    if (auto* a = ControlAs<CIpv4Edit>(nId)) a->SetOctets(octets);
}

Ipv4Octets CDialogBase::GetIpv4(int nId) const {
    auto* a = ControlAs<CIpv4Edit>(nId);
    return a != nullptr ? a->Octets() : Ipv4Octets{};
}

void CDialogBase::SetProgress(int nId, int nValue, int nMaximum) {
    if (auto* b = ControlAs<QProgressBar>(nId)) {
        b->setRange(0, std::max(nMaximum, 0));
        b->setValue(std::clamp(nValue, 0, std::max(nMaximum, 0)));
    }
}

int CDialogBase::ProgressValue(int nId) const {
    auto* b = ControlAs<QProgressBar>(nId);
    return b != nullptr ? b->value() : -1;
}

EMsgResult CDialogBase::Message(const QString& strText, EMsgIcon eIcon, EMsgButtons eButtons) {
    CWaitCursor::LiftAll();
    for (CDialogBase* pPopup : LivePopups()) pPopup->hide();
    SMessage message{strText, eIcon, eButtons, QApplication::applicationDisplayName()};
    // A box is centred over its parent: a page that is not shown yet (a
    // failed read) hands it to the window the user sees.
    QWidget* pOwner = this;
    while (!pOwner->isVisible() && pOwner->parentWidget() != nullptr) pOwner = pOwner->parentWidget()->window();
    return m_services.ShowMessage(pOwner, message);
}

void CDialogBase::OnClicked(int nId, std::function<void()> fnHandler) {
    if (auto* b = ControlAs<QAbstractButton>(nId))
        connect(b, &QAbstractButton::clicked, this, [fn = std::move(fnHandler)](bool) { fn(); });
}

void CDialogBase::OnActivated(int nId, std::function<void(int)> fnHandler) {
    if (auto* c = ControlAs<QComboBox>(nId)) {
        auto* pStart = new CChoiceStart(c);  // owned by the drop-down
        connect(c, &QComboBox::activated, this, [pStart, fn = std::move(fnHandler)](int nIndex) {
            if (pStart->IsChange(nIndex)) fn(nIndex);
        });
    }
}

void CDialogBase::OnTextEdited(int nId, std::function<void(const QString&)> fnHandler) {
    QWidget* p = Control(nId);
    if (auto* e = qobject_cast<QLineEdit*>(p))
        connect(e, &QLineEdit::textEdited, this, std::move(fnHandler));
    else if (auto* a = qobject_cast<CIpv4Edit*>(p))
        connect(a, &CIpv4Edit::textEdited, this, [fn = std::move(fnHandler)] { fn(QString()); });
}

void CDialogBase::OnRowSelected(int nId, std::function<void(int)> fnHandler) {
    if (auto* t = ControlAs<QTreeWidget>(nId))
        connect(t, &QTreeWidget::itemSelectionChanged, this,
                [this, nId, fn = std::move(fnHandler)] { fn(ListSelectedRow(nId)); });
}

void CDialogBase::OnRowActivated(int nId, std::function<void(int)> fnHandler) {
    if (auto* t = ControlAs<QTreeWidget>(nId))
        connect(t, &QTreeWidget::itemActivated, this,
                [t, fn = std::move(fnHandler)](QTreeWidgetItem* pItem, int) { fn(t->indexOfTopLevelItem(pItem)); });
}

}  // namespace vexal::utility
