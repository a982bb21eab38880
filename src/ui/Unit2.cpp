#include "ui/Unit2.h"

namespace roradaza {

TForm2::TForm2(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TForm2"));
    setWindowTitle(QStringLiteral("Modifica Evento"));
    setFixedSize(375, 265);
}

} // namespace roradaza
