// The shared pictures from several editors' threads at once (an idle pass may
// come from the engine's substitute timer): a picture is painted exactly
// once, whoever draws it first, and every thread sees the same pixels; the
// store hands every editor the same picture.
#include "CBitmap.h"
#include "EditorPictures.h"
#include "EditorTestRig.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

TEST(EditorPicturesThreads, APictureIsPaintedOnceWhoeverDrawsItFirst)
{
    constexpr int Threads = 4;
    for (int round = 0; round < 20; ++round) {
        std::atomic<int> paints{0};
        auto* picture = new CBitmap(64, 64, [&paints](cairo_t* cr, CCoord w, CCoord h) {
            ++paints;
            cairo_set_source_rgb(cr, 0.2, 0.6, 0.4);
            cairo_rectangle(cr, 0, 0, w, h);
            cairo_fill(cr);
        });
        std::atomic<int> ready{0};
        std::vector<CColor> seen(Threads);
        std::vector<std::thread> threads;
        for (int t = 0; t < Threads; ++t) {
            threads.emplace_back([&, t] {
                ++ready;
                while (ready.load() < Threads) {
                }
                seen[t] = picture->getPixel(10 + t, 20);
            });
        }
        for (auto& t : threads)
            t.join();
        EXPECT_EQ(paints.load(), 1) << "round " << round;
        for (int t = 1; t < Threads; ++t)
            EXPECT_EQ(seen[t], seen[0]) << "round " << round;
        picture->forget();
    }
}

TEST(EditorPicturesThreads, EditorsOnTwoThreadsShareEachStorePicture)
{
    RegistryTest::MapTestEngine engine;
    EditorTest::TestEditor keeper(&engine); // keeps the store alive
    constexpr int Threads = 3;
    std::vector<std::vector<CBitmap*>> got(Threads);
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t) {
        threads.emplace_back([&, t] {
            for (const EditorPictures::Picture& p : EditorPictures::pictures()) {
                CBitmap* b = SynthEditor_c::loadBitmap(p.id);
                b->getPixel(0, 0); // paints it, if nobody has
                got[t].push_back(b);
            }
        });
    }
    for (auto& t : threads)
        t.join();
    for (int t = 1; t < Threads; ++t)
        EXPECT_EQ(got[t], got[0]);
}
