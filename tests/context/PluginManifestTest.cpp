// Reading plugin manifests: the accepted form, and each way a manifest is refused.

#include "host/context/PluginManifest.h"
#include "tests/support/TempHome.h"

#include <QFile>

#include <gtest/gtest.h>

using Lumora::PluginManifest;

TEST(PluginManifest, readsNameLibraryAndInterfaces)
{
    const QByteArray text = "# a comment\n"
                            "\n"
                            "  name = Media Library  \n"
                            "library=libLumoraMediaLibrary.so\r\n"
                            "interface=org.example.First\n"
                            "INTERFACE=org.example.Second\n"
                            "interface=org.example.First\n"
                            "version=7\n";
    PluginManifest manifest;
    QString error;
    ASSERT_TRUE(PluginManifest::parse(text, QStringLiteral("/opt/lumora/plugins/media.plugin"), &manifest, &error))
        << error.toStdString();
    EXPECT_EQ(manifest.name, QStringLiteral("Media Library"));
    EXPECT_EQ(manifest.libraryPath, QStringLiteral("/opt/lumora/plugins/libLumoraMediaLibrary.so"));
    EXPECT_EQ(manifest.interfaces, (QStringList{QStringLiteral("org.example.First"),
                                                QStringLiteral("org.example.Second")}));

    ASSERT_TRUE(PluginManifest::parse("library=../lib/x.so\ninterface=i\n", QStringLiteral("/opt/p/Engine.plugin"), &manifest, &error));
    EXPECT_EQ(manifest.name, QStringLiteral("Engine"));
    EXPECT_EQ(manifest.libraryPath, QStringLiteral("/opt/lib/x.so"));
    ASSERT_TRUE(PluginManifest::parse("library=/abs/x.so\ninterface=i\n", QStringLiteral("/opt/p/E.plugin"), &manifest, &error));
    EXPECT_EQ(manifest.libraryPath, QStringLiteral("/abs/x.so"));
}

TEST(PluginManifest, refusesWhatDescribesNoUsablePlugin)
{
    const std::vector<std::pair<QByteArray, const char *>> cases = {
        {"interface=i\n", "no library"},
        {"library=x.so\n", "no interface"},
        {"library=x.so\nlibrary=y.so\ninterface=i\n", "one library"},
        {"library=x.so\ninterface\n", ":2: expected key=value"},
        {"library=x.so\n=i\n", ":2: expected key=value"},
        {"library=\ninterface=i\n", ":1: library has no value"},
    };
    for (const auto &[text, expected] : cases) {
        PluginManifest manifest;
        manifest.name = QStringLiteral("untouched");
        QString error;
        EXPECT_FALSE(PluginManifest::parse(text, QStringLiteral("/p/x.plugin"), &manifest, &error)) << text.constData();
        EXPECT_TRUE(error.contains(QLatin1String(expected))) << error.toStdString();
        EXPECT_TRUE(error.startsWith(QLatin1String("/p/x.plugin"))) << error.toStdString();
        EXPECT_EQ(manifest.name, QStringLiteral("untouched"));
    }

    LumoraTest::TempHome home;
    PluginManifest manifest;
    QString error;
    EXPECT_FALSE(PluginManifest::read(home.path() + "/missing.plugin", &manifest, &error));
    EXPECT_TRUE(error.contains(QLatin1String("missing.plugin")));
    QFile large(home.path() + "/large.plugin");
    ASSERT_TRUE(large.open(QIODevice::WriteOnly));
    large.write("library=x.so\ninterface=i\n" + QByteArray(100 * 1024, '#'));
    large.close();
    EXPECT_FALSE(PluginManifest::read(large.fileName(), &manifest, &error));
    EXPECT_TRUE(error.contains(QLatin1String("too large")));
}
