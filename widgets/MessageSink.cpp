#include "widgets/MessageSink.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

QString ApplicationCaption() {
    const QString base = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    return base.isEmpty() ? QStringLiteral("BrendlowTerminal") : base;
}

void CMessageBoxSink::Show(QWidget* parent, const QString& text, MessageIcon icon) {
    QMessageBox box(icon == MessageIcon::Stop ? QMessageBox::Critical : QMessageBox::Warning,
                    ApplicationCaption(), text, QMessageBox::Ok, parent);
    box.exec();
}
