// A four-octet IPv4 address field (the dialogs' address control). Each octet
// is a decimal number 0..255; a blank octet counts as 0. Octets are read one
// by one, never as an "inet_aton" text (which would take "10.1" or octal).
#pragma once
#include <QValidator>
#include <QWidget>

#include <array>
#include <cstdint>
#include <optional>

class QLineEdit;

namespace vexal::utility {

using Ipv4Octets = std::array<uint8_t, 4>;

// One octet's text: blank -> 0, "0".."255" (digits only, at most 3) -> value,
// anything else -> nothing.
std::optional<uint8_t> ParseOctet(const QString& strText);

// Accepts only texts ParseOctet takes, so a field can never hold 256 or "1a".
class COctetValidator final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};

class CIpv4Edit final : public QWidget {
    Q_OBJECT
public:
    explicit CIpv4Edit(QWidget* pParent = nullptr);

    void SetOctets(const Ipv4Octets& octets);
    Ipv4Octets Octets() const;
    QLineEdit* Field(int nIndex) const { return m_fields.at(static_cast<size_t>(nIndex)); }
    // Accessible names "<name>, octet 1" ... for the four fields.
    void SetAccessibleBaseName(const QString& strName);

signals:
    // The user typed in one of the fields.
    void textEdited();

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    std::array<QLineEdit*, 4> m_fields{};
};

}  // namespace vexal::utility
