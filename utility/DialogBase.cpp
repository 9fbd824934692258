#include "utility/DialogBase.h"

#include "model/HubText.h"
#include "utility/ProgressDlg.h"
#include "utility/WaitCursor.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QValidator>

#include <algorithm>

namespace vexal::utility {

namespace {

// Pasted text can carry control characters (typing cannot); the hub's
// records end at a CR or a NUL, so they never get into a field. Nor does a
// character the hub's code page cannot hold: it would reach the hub as "?".
class CPlainTextValidator final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        const std::u16string text = input.toStdU16String();
        return model::HasControlCharacter(text) || !model::FitsHubCodePage(text) ? Invalid : Acceptable;
    }
};

// Qt reports a pick of the entry already shown like any other: notes the
// entry shown when the user begins to act on the drop-down (a key, a press,
// the wheel, its list opening by any means) so that such a pick is told apart.
class CChoiceStart final : public QObject {
public:
    explicit CChoiceStart(QComboBox* pCombo) : QObject(pCombo), m_pCombo(pCombo) {
        pCombo->installEventFilter(this);
        if (QWidget* pPopup = pCombo->view()->parentWidget())
            pPopup->installEventFilter(this);
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
        if (pWatched == m_pCombo ? (eType == QEvent::KeyPress || eType == QEvent::MouseButtonPress ||
                                    eType == QEvent::Wheel)
                                 : eType == QEvent::Show)
            m_nStart = m_pCombo->currentIndex();
        return false;
    }

private:
    QComboBox* m_pCombo;
    int m_nStart = -2;  // unknown: the first pick counts as a change
};

}  // namespace

CDialogBase::CDialogBase(int nDialogId, IDialogServices& services, QWidget* pParent)
    : QDialog(pParent), m_nDialogId(nDialogId), m_services(services) {
    setObjectName(QString::number(nDialogId));
    setSizeGripEnabled(false);
}

QWidget* CDialogBase::Control(int nId) const {
    auto it = m_controls.find(nId);
    return it == m_controls.end() ? nullptr : it->second;
}

void CDialogBase::Register(int nId, QWidget* pControl, const QString& strAccessibleName) {
    if (pControl == nullptr)
        return;
    pControl->setObjectName(QString::number(nId));
    if (!strAccessibleName.isEmpty())
        pControl->setAccessibleName(strAccessibleName);
    if (auto* pButton = qobject_cast<QPushButton*>(pControl)) {
        pButton->setAutoDefault(false);
        pButton->setDefault(false);
    }
    if (m_controls.emplace(nId, pControl).second)
        m_order.push_back(nId);
    else
        m_controls[nId] = pControl;
}

// A caption without its mnemonic marker, as a screen reader should say it.
static QString PlainCaption(const QString& strCaption) {
    QString strPlain = strCaption;
    strPlain.remove(QLatin1Char('&'));
    return strPlain;
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

QLabel* CDialogBase::MakeLabel(const QString& strText, QWidget* pBuddy) {
    auto* p = new QLabel(strText, this);
    p->setBuddy(pBuddy);
    if (pBuddy != nullptr && pBuddy->accessibleName().isEmpty() && qobject_cast<QLabel*>(pBuddy) == nullptr)
        pBuddy->setAccessibleName(PlainCaption(strText).remove(QLatin1Char(':')).trimmed());
    return p;
}

QString CDialogBase::GetText(int nId) const {
    QWidget* p = Control(nId);
    if (auto* e = qobject_cast<QLineEdit*>(p))
        return e->text();
    if (auto* l = qobject_cast<QLabel*>(p))
        return l->text();
    if (auto* b = qobject_cast<QAbstractButton*>(p))
        return b->text();
    if (auto* c = qobject_cast<QComboBox*>(p))
        return c->currentText();
    if (auto* g = qobject_cast<QGroupBox*>(p))
        return g->title();
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
    if (auto* b = ControlAs<QAbstractButton>(nId))
        b->setChecked(bChecked);
}

void CDialogBase::Enable(int nId, bool bEnable) {
    if (QWidget* p = Control(nId))
        p->setEnabled(bEnable);
}

bool CDialogBase::IsEnabled(int nId) const {
    QWidget* p = Control(nId);
    return p != nullptr && !p->testAttribute(Qt::WA_ForceDisabled);
}

void CDialogBase::Show(int nId, bool bShow) {
    if (QWidget* p = Control(nId))
        p->setVisible(bShow);
}

bool CDialogBase::IsShown(int nId) const {
    QWidget* p = Control(nId);
    return p != nullptr && !p->isHidden();
}

void CDialogBase::ComboClear(int nId) {
    if (auto* c = ControlAs<QComboBox>(nId))
        c->clear();
}

void CDialogBase::ComboAdd(int nId, const QString& strText) {
    if (auto* c = ControlAs<QComboBox>(nId))
        c->addItem(strText);
}

int CDialogBase::ComboCount(int nId) const {
    auto* c = ControlAs<QComboBox>(nId);
    return c != nullptr ? c->count() : 0;
}

int CDialogBase::ComboIndex(int nId) const {
    auto* c = ControlAs<QComboBox>(nId);
    return c != nullptr ? c->currentIndex() : -1;
}

void CDialogBase::ComboSelect(int nId, int nIndex) {
    if (auto* c = ControlAs<QComboBox>(nId); c != nullptr && nIndex >= -1 && nIndex < c->count())
        c->setCurrentIndex(nIndex);
}

QString CDialogBase::ComboItemText(int nId, int nIndex) const {
    auto* c = ControlAs<QComboBox>(nId);
    return c != nullptr ? c->itemText(nIndex) : QString();
}

void CDialogBase::ListClear(int nId) {
    if (auto* t = ControlAs<QTreeWidget>(nId))
        t->clear();
}

int CDialogBase::ListAddRow(int nId, const QStringList& cells) {
    auto* t = ControlAs<QTreeWidget>(nId);
    if (t == nullptr)
        return -1;
    t->addTopLevelItem(new QTreeWidgetItem(cells));  // the view owns its items
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
    if (t == nullptr)
        return -1;
    const auto selected = t->selectedItems();
    return selected.isEmpty() ? -1 : t->indexOfTopLevelItem(selected.front());
}

void CDialogBase::ListSelectRow(int nId, int nRow) {
    auto* t = ControlAs<QTreeWidget>(nId);
    if (t == nullptr)
        return;
    QTreeWidgetItem* pItem = t->topLevelItem(nRow);
    if (pItem == nullptr)
        t->clearSelection();
    else
        t->setCurrentItem(pItem);
}

void CDialogBase::SetIpv4(int nId, const Ipv4Octets& octets) {
    if (auto* a = ControlAs<CIpv4Edit>(nId))
        a->SetOctets(octets);
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
    CProgressDlg::HideAll();
    SMessage message{strText, eIcon, eButtons, QApplication::applicationDisplayName()};
    // A box is centred over its parent: a page that is not shown yet (a
    // failed read) hands it to the window the user sees.
    QWidget* pOwner = this;
    while (!pOwner->isVisible() && pOwner->parentWidget() != nullptr)
        pOwner = pOwner->parentWidget()->window();
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
            if (pStart->IsChange(nIndex))
                fn(nIndex);
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
        connect(t, &QTreeWidget::itemActivated, this, [t, fn = std::move(fnHandler)](QTreeWidgetItem* pItem, int) {
            fn(t->indexOfTopLevelItem(pItem));
        });
}

}  // namespace vexal::utility
