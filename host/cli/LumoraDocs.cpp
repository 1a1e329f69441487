// lumora-docs: writes lumora's manual page and shell completions below a folder, in the layout an
// installation uses (man/man1/lumora.1, bash-completion/completions/lumora,
// zsh/site-functions/_lumora). Run by the build; not installed.

#include "host/cli/Docs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {

bool writeFile(const QString &path, const QString &text)
{
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray bytes = text.toUtf8();
    return file.write(bytes) == bytes.size() && file.flush();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: lumora-docs FOLDER\n");
        return 2;
    }
    const QString folder = QFile::decodeName(argv[1]);
    const bool written = writeFile(folder + QStringLiteral("/man/man1/lumora.1"), Lumora::Cli::Docs::manPage())
                         && writeFile(folder + QStringLiteral("/bash-completion/completions/lumora"),
                                      Lumora::Cli::Docs::bashCompletion())
                         && writeFile(folder + QStringLiteral("/zsh/site-functions/_lumora"), Lumora::Cli::Docs::zshCompletion());
    if (!written) {
        std::fprintf(stderr, "lumora-docs: cannot write below %s\n", argv[1]);
        return 1;
    }
    return 0;
}
