// Small widget helpers the settings pages share.
#pragma once
#include <QString>

#include <string>
#include <string_view>

class QWidget;

namespace vexal::utility {

class CDialogBase;

inline QString ToQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::u16string ToU16(const QString& strText) { return strText.toStdU16String(); }
inline QString ToQString(const std::string& strAscii) { return QString::fromLatin1(strAscii); }

// Sets a radio pair from a value: nWhich 0 checks the first, 1 the second,
// anything else neither. Both are cleared first: an exclusive pair ignores
// un-checking, so a re-read would otherwise keep a stale choice.
void SetRadioPair(CDialogBase& dlg, int nFirst, int nSecond, int nWhich);

// A row holding the two radio buttons of a pair, so that each pair is
// exclusive on its own (exclusivity goes by parent widget).
QWidget* MakeRadioRow(CDialogBase& dlg, int nFirst, int nSecond);

}  // namespace vexal::utility
