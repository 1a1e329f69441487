// The records beside a part file: what is written is read back, and a damaged record is never
// taken for a good one.

#include "vdm/PartialFile.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fstream>

using namespace Vdm;

namespace {

PartialMeta sample()
{
    PartialMeta meta;
    meta.uri = "http://example.test/film.mkv";
    meta.total = 100000;
    meta.etag = "\"v1\"";
    meta.lastModified = "Tue, 14 Nov 2023 22:13:20 GMT";
    return meta;
}

} // namespace

TEST(PartialMeta, aSegmentMapIsReadBackAsWritten)
{
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/f.part.meta";
    PartialMeta meta = sample();
    meta.segmented = true;
    meta.missing = {{100, 5000}, {25000, 50000}, {75000, 100000}};
    for (const bool durable : {false, true}) {
        ASSERT_TRUE(writePartialMeta(path, meta, durable));
        const auto read = readPartialMeta(path);
        ASSERT_TRUE(read);
        EXPECT_EQ(read->uri, meta.uri);
        EXPECT_EQ(read->total, meta.total);
        EXPECT_EQ(read->etag, meta.etag);
        EXPECT_EQ(read->lastModified, meta.lastModified);
        EXPECT_TRUE(read->segmented);
        EXPECT_EQ(read->missing, meta.missing);
    }
    meta.missing.clear();  // everything in place, waiting for the rename
    ASSERT_TRUE(writePartialMeta(path, meta));
    EXPECT_TRUE(readPartialMeta(path)->segmented);
    EXPECT_TRUE(readPartialMeta(path)->missing.empty());

    ASSERT_TRUE(writePartialMeta(path, sample()));
    EXPECT_FALSE(readPartialMeta(path)->segmented) << "one connection: the file's size says it all";
}

TEST(PartialMeta, aDamagedMapIsNoMapAtAll)
{
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/f.part.meta";
    const std::string head = "vexo-partial 1\nuri http://example.test/film.mkv\ntotal 100000\netag \"v1\"\n";
    for (const char *map : {"segmented 2\nmissing 100-5000\n",                       // a range lost
                            "segmented 2\nmissing 100-5000\nmissing 4000-6000\n",    // overlapping
                            "segmented 1\nmissing 5000-100\n",                       // backwards
                            "segmented 1\nmissing 90000-100001\n",                   // past the end
                            "segmented 1\nmissing 100-\n", "missing 100-200\n", "segmented x\n"}) {
        std::ofstream(path, std::ios::trunc) << head << map;
        EXPECT_FALSE(readPartialMeta(path)) << map;
    }
    std::ofstream(path, std::ios::trunc) << head << "segmented 1\nmissing 100-200\n";
    EXPECT_TRUE(readPartialMeta(path));
}
