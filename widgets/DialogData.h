#pragma once
// Data exchange between a dialog's members and its controls. `take` copies a
// control's content into the member; otherwise the member is shown.
#include <QString>
#include <cstdint>

class QComboBox;
class QLineEdit;

// Take reads the edit field. Show selects the first list item that begins
// with the text (letter case ignored), or puts the text into the edit field
// when none does; an empty text selects nothing. A combo that already shows
// exactly the text is left alone, so that showing never rewrites what the
// operator has typed.
void ExchangeComboText(QComboBox* combo, QString& value, bool take);
void ExchangeText(QLineEdit* edit, QString& value, bool take);
// Unsigned decimal; a text that is not one leaves the member unchanged.
void ExchangeUnsigned(QLineEdit* edit, uint32_t& value, bool take);

// The index of the first item beginning with `text`, ignoring case; -1 when
// none does or the text is empty.
int FindPrefixItem(const QComboBox* combo, const QString& text);
