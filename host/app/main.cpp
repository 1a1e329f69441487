// lumora: the player in command-line form. See "lumora --help".

#include "host/app/Console.h"
#include "host/app/LumoraMain.h"

#include <QCoreApplication>

#include <csignal>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lumora"));
    QCoreApplication::setApplicationVersion(QStringLiteral(LUMORA_VERSION));
    // Output into a closed pipe ("lumora list | head") ends the write, not the process.
    std::signal(SIGPIPE, SIG_IGN);
    Lumora::App::Console console;
    return Lumora::App::runLumora(QCoreApplication::arguments().mid(1), console);
}
