// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandLine.h"

#include "Version.h"

#include <QCommandLineParser>
#include <QStringList>

#include <cstdio>

namespace roradaza {
namespace {

const char helpText[] = "Uso: Roradaza [--help | --version]\n"
                        "\n"
                        "Promemoria di compleanni, onomastici e ricorrenze. All'avvio, ogni venti minuti\n"
                        "e quando lo chiedi, Roradaza confronta i tuoi eventi con la data di oggi e ti\n"
                        "mostra ciò che cade oggi, domani o nei giorni di preavviso che hai scelto; poi\n"
                        "attende nell'area di notifica. Ogni altro argomento è ignorato.\n"
                        "\n"
                        "  -h, --help     mostra questo aiuto\n"
                        "  --version      mostra la versione e la licenza\n"
                        "\n"
                        "Gli eventi stanno in Roradaza.dat e le impostazioni in Roradaza.ini, accanto al\n"
                        "programma se vi si può scrivere, altrimenti in $XDG_DATA_HOME/roradaza (di\n"
                        "solito ~/.local/share/roradaza). Il controllo in un terminale: roradaza-check.\n"
                        "Il manuale: man Roradaza.\n";

const char versionText[] = "Roradaza " RORADAZA_VERSION "\n" RORADAZA_LICENCE_TEXT;

} // namespace

std::optional<int> answerCommandLine(int argc, char *argv[])
{
    QStringList arguments;
    for (int at = 0; at < argc; ++at)
        arguments << QString::fromLocal8Bit(argv[at]);

    QCommandLineParser parser;
    // Qt's own one-dash options, such as -reverse, are words, not bundles of letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOption(help);
    parser.addOption(version);
    parser.parse(arguments); // unknown options are no error here

    const char *text = parser.isSet(help) ? helpText : parser.isSet(version) ? versionText : nullptr;
    if (!text)
        return std::nullopt;
    std::fputs(text, stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace roradaza
