#include "widgets/DialogData.h"

#include <QComboBox>
#include <QLineEdit>

int FindPrefixItem(const QComboBox* combo, const QString& text) {
    // An empty text would match the first item; it selects none.
    return text.isEmpty() ? -1 : combo->findText(text, Qt::MatchStartsWith);
}

void ExchangeComboText(QComboBox* combo, QString& value, bool take) {
    if (combo == nullptr)
        return;
    if (take) {
        value = combo->currentText();
        return;
    }
    if (combo->currentText() == value)
        return;
    const int index = FindPrefixItem(combo, value);
    combo->setCurrentIndex(index);
    if (index < 0)
        combo->setEditText(value);
}

void ExchangeText(QLineEdit* edit, QString& value, bool take) {
    if (edit == nullptr)
        return;
    if (take)
        value = edit->text();
    else if (edit->text() != value)
        edit->setText(value);
}

void ExchangeUnsigned(QLineEdit* edit, uint32_t& value, bool take) {
    if (edit == nullptr)
        return;
    if (take) {
        bool ok = false;
        const uint32_t parsed = edit->text().trimmed().toUInt(&ok);
        if (ok)
            value = parsed;
        return;
    }
    const QString text = QString::number(value);
    if (edit->text() != text)
        edit->setText(text);
}
