#pragma once

#include <QDialog>

namespace roradaza {

// "Modifica Evento": the event editor.
class TForm2 final : public QDialog
{
    Q_OBJECT

public:
    explicit TForm2(QWidget *parent = nullptr);
};

} // namespace roradaza
