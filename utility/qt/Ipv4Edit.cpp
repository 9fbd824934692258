#include "utility/qt/Ipv4Edit.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

namespace vexal::utility {

std::optional<uint8_t> ParseOctet(const QString& strText) {
    if (strText.isEmpty()) return uint8_t{0};
    if (strText.size() > 3) return std::nullopt;
    unsigned nValue = 0;
    for (QChar c : strText) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
        nValue = nValue * 10 + static_cast<unsigned>(c.unicode() - '0');
    }
    if (nValue > 255) return std::nullopt;
    return static_cast<uint8_t>(nValue);
}

QValidator::State COctetValidator::validate(QString& input, int&) const {
    return ParseOctet(input) ? Acceptable : Invalid;
}

CIpv4Edit::CIpv4Edit(QWidget* pParent) : QWidget(pParent) {
    auto* pLayout = new QHBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->setSpacing(2);
    auto* pValidator = new COctetValidator(this);
    for (size_t i = 0; i < m_fields.size(); ++i) {
        if (i > 0) pLayout->addWidget(new QLabel(QStringLiteral("."), this));
        auto* pField = new QLineEdit(this);
        pField->setValidator(pValidator);
        pField->setMaxLength(3);
        pField->setAlignment(Qt::AlignCenter);
        pField->setMaximumWidth(pField->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 12);
        pField->installEventFilter(this);
        connect(pField, &QLineEdit::textEdited, this, &CIpv4Edit::textEdited);
        pLayout->addWidget(pField);
        m_fields[i] = pField;
    }
    pLayout->addStretch(1);
    setFocusProxy(m_fields[0]);
    for (size_t i = 1; i < m_fields.size(); ++i) setTabOrder(m_fields[i - 1], m_fields[i]);
    SetAccessibleBaseName(QStringLiteral("IP address"));
}

void CIpv4Edit::SetOctets(const Ipv4Octets& octets) {
    for (size_t i = 0; i < m_fields.size(); ++i) m_fields[i]->setText(QString::number(octets[i]));
}

Ipv4Octets CIpv4Edit::Octets() const {
    Ipv4Octets octets{};
    for (size_t i = 0; i < m_fields.size(); ++i) octets[i] = ParseOctet(m_fields[i]->text()).value_or(0);
    return octets;
}

void CIpv4Edit::SetAccessibleBaseName(const QString& strName) {
    setAccessibleName(strName);
    for (size_t i = 0; i < m_fields.size(); ++i)
        m_fields[i]->setAccessibleName(QStringLiteral("%1, octet %2").arg(strName).arg(i + 1));
}

// '.' moves to the next octet, as in the address fields users know.
bool CIpv4Edit::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (pEvent->type() == QEvent::KeyPress) {
        auto* pKey = static_cast<QKeyEvent*>(pEvent);
        if (pKey->key() == Qt::Key_Period) {
            for (size_t i = 0; i + 1 < m_fields.size(); ++i) {
                if (m_fields[i] == pWatched) {
                    m_fields[i + 1]->setFocus(Qt::TabFocusReason);
                    m_fields[i + 1]->selectAll();
                    break;
                }
            }
            return true;
        }
    }
    return QWidget::eventFilter(pWatched, pEvent);
}

}  // namespace vexal::utility
