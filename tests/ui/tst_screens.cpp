// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures of every window in its main states, kept as test artefacts to be
// looked at against the layouts.
#include "UiFixture.h"

#include "ui/ImportWindow.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>

namespace {

const QByteArray events = "3\r\nCompleanno di Anna\r\n04\r\n02\r\n05\r\n0000\r\n"
                          "Esame di storia\r\n00\r\n30\r\n03i\r\n0000\r\n"
                          "Palestra\r\n##\r\nMarted\xEC;Gioved\xEC;\r\n00\r\n0000\r\n"
                          "Visita medica\r\n03\r\n29A\r\n02\r\n2007\r\n";

} // namespace

class TestScreens : public QObject
{
    Q_OBJECT

    QString m_folder = QStringLiteral(RORADAZA_SCREENSHOTS);

    void save(QWidget *window, const QString &name)
    {
        QVERIFY(QDir().mkpath(m_folder));
        QVERIFY(window->grab().save(m_folder + QLatin1Char('/') + name));
    }

private slots:
    void windows()
    {
        Program program;
        program.setUp("0\r\n1200000\r\n-1\r\n", events);
        program.prompts.answers << ScriptedPrompts::Answer::No;
        QVERIFY(program.start());
        program.prompts.take();
        save(program.form4.get(), QStringLiteral("notification.png"));
        save(program.form1.get(), QStringLiteral("compact.png"));

        program.form4->button1()->click();
        program.form1->stopButton()->click();
        save(program.form1.get(), QStringLiteral("expanded.png"));

        program.form1->searchBox()->setEditText(QStringLiteral("an"));
        save(program.form1.get(), QStringLiteral("expanded-filter.png"));
        program.form1->searchBox()->setEditText(QStringLiteral("TUTTO"));

        program.form1->eventView()->setCurrentIndex(program.form1->eventView()->model()->index(0, 0));
        program.form1->Edit1Click();
        QVERIFY(program.form2->isVisible());
        save(program.form2.get(), QStringLiteral("editor-annual.png"));
        program.form2->findChild<QPushButton *>(QStringLiteral("Button1"))->click();
        save(program.form2.get(), QStringLiteral("editor-calendar.png"));
        program.form2->reject();

        program.form1->eventView()->setCurrentIndex(program.form1->eventView()->model()->index(2, 0));
        program.form1->Edit1Click();
        save(program.form2.get(), QStringLiteral("editor-weekly.png"));
        program.form2->reject();

        roradaza::ImportWindow import(
            roradaza::exchange::planImport(program.form1->events(), roradaza::exchange::readContactsFile(
                                                                        qEnvironmentVariable("RORADAZA_TEST_DATA") +
                                                                        QStringLiteral("/exchange/contacts-30.vcf"))),
            QStringLiteral("contacts-30.vcf"), program.form1.get());
        import.show();
        save(&import, QStringLiteral("import.png"));
        import.hide();

        program.history->show();
        save(program.history.get(), QStringLiteral("version-history.png"));
        program.history->hide();
        program.prompts.take();
    }
};

QTEST_MAIN(TestScreens)
#include "tst_screens.moc"
