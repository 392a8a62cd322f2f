// paneldemo in-process: its main with the loop stubbed out, then frames and
// space-bar presses through the library's headless frame loop.
#include <gtest/gtest.h>
#include <stdio.h>

#include <string>

#include "demo_spy.h"
#include "vqscene.h"
#include "vqscene_inspect.h"

namespace panels {
#include "../../demos/paneldemo.cpp"
}

namespace {

const char *const kMessages = "Press <tab> to switch between panels\n"
                              "Press <spacebar> to link cameras together - cannot be undone\n"
                              "Futher presses of <spacebar> toggle panel visiblity\n";

class PanelDemo : public ::testing::Test {
  protected:
    void SetUp() override
    {
        vqtest::closeScene();
        resetDemoSpy();
        // What was written to stderr by the time the loop would start.
        demoSpy().onShow = [this]() {
            atShow = testing::internal::GetCapturedStderr();
            captured = false;
        };
        char a0[] = "paneldemo", a1[] = "--nodraw";
        char *argv[] = {a0, a1, nullptr};
        testing::internal::CaptureStderr();
        captured = true;
        rc = panels::main(2, argv);
        if (captured)
            atShow = testing::internal::GetCapturedStderr();
        device = demoSpy().device;
        shows = demoSpy().shows;

        // A first frame without presses, so that every test starts from
        // a seen count of 0 whatever an earlier test left behind.
        vqtest::runFrame();
        demoSpy().links = demoSpy().toggles = 0;
    }
    void TearDown() override { vqtest::closeScene(); }

    static void frameAfterPresses(int presses)
    {
        for (int i = 0; i < presses; i++)
            vqtest::pressKey(' ');
        vqtest::runFrame();
    }
    static const vq::Panel &slave() { return vqtest::scene().panels.at(panels::slave_panel); }

    int rc = 0;
    int shows = 0;
    std::string device;
    std::string atShow;
    bool captured = false;
};

} // namespace

TEST_F(PanelDemo, MainBuildsTwoPanelsAndAnnouncesBeforeTheLoop)
{
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(device, "/vqmono");
    EXPECT_EQ(shows, 1);
    EXPECT_EQ(atShow, kMessages);

    const vq::Scene &s = vqtest::scene();
    ASSERT_EQ(s.panels.size(), 2u);
    EXPECT_EQ(panels::master_panel, 0);
    EXPECT_EQ(panels::slave_panel, s.panels[1].id);
    EXPECT_NE(panels::slave_panel, panels::master_panel);
    // The first panel is current again when the loop starts.
    EXPECT_EQ(s.current, panels::master_panel);

    const vq::Panel &m = s.panels[0];
    EXPECT_DOUBLE_EQ(m.fx1, 0);
    EXPECT_DOUBLE_EQ(m.fy1, 0.5);
    EXPECT_DOUBLE_EQ(m.fx2, 0.5);
    EXPECT_DOUBLE_EQ(m.fy2, 1.0);
    const vq::Panel &sl = slave();
    EXPECT_DOUBLE_EQ(sl.fx1, 0.5);
    EXPECT_DOUBLE_EQ(sl.fy1, 0);
    EXPECT_DOUBLE_EQ(sl.fx2, 1.0);
    EXPECT_DOUBLE_EQ(sl.fy2, 0.5);

    for (int a = 0; a < 3; a++) {
        EXPECT_DOUBLE_EQ(m.window.lo[a], -1);
        EXPECT_DOUBLE_EQ(m.window.hi[a], 1);
        EXPECT_EQ(m.box.opt[a], "BCDET");
        EXPECT_DOUBLE_EQ(sl.window.lo[a], -2);
        EXPECT_DOUBLE_EQ(sl.window.hi[a], 2);
        EXPECT_EQ(sl.box.opt[a], "BCDE");
        EXPECT_FLOAT_EQ(m.box.tick[a], 0);
        EXPECT_EQ(m.box.nsub[a], 0);
        EXPECT_FLOAT_EQ(sl.box.tick[a], 0);
        EXPECT_EQ(sl.box.nsub[a], 0);
    }
    EXPECT_TRUE(m.box.enabled);
    EXPECT_TRUE(sl.box.enabled);
    // The frame callback belongs to the first panel only.
    EXPECT_EQ(m.frameFunc, &panels::cb);
    EXPECT_EQ(sl.frameFunc, nullptr);
}

TEST_F(PanelDemo, WithoutPressesTheCallbackCallsNothing)
{
    for (int f = 0; f < 3; f++)
        frameAfterPresses(0);
    EXPECT_EQ(demoSpy().links, 0);
    EXPECT_EQ(demoSpy().toggles, 0);
    const vq::Scene &s = vqtest::scene();
    EXPECT_EQ(s.current, panels::master_panel);
    for (const vq::Panel &p : s.panels) {
        EXPECT_TRUE(p.visible);
        EXPECT_EQ(p.followCamera, -1);
        EXPECT_TRUE(p.frameList.points.empty());
        EXPECT_TRUE(p.frameList.lines.empty());
        EXPECT_TRUE(p.frameList.facets.empty());
    }
}

TEST_F(PanelDemo, FirstPressLinksOnEveryFrameLaterPressesToggle)
{
    frameAfterPresses(1);
    EXPECT_EQ(demoSpy().links, 1);
    EXPECT_EQ(demoSpy().linkA, panels::master_panel);
    EXPECT_EQ(demoSpy().linkB, panels::slave_panel);
    EXPECT_EQ(slave().followCamera, panels::master_panel);
    frameAfterPresses(0);
    EXPECT_EQ(demoSpy().links, 2);
    EXPECT_EQ(demoSpy().toggles, 0);
    EXPECT_TRUE(slave().visible);

    // One press a frame: hidden at 2 and 4, shown again at 3.
    frameAfterPresses(1);
    EXPECT_EQ(demoSpy().toggles, 1);
    EXPECT_EQ(demoSpy().toggled, panels::slave_panel);
    EXPECT_FALSE(slave().visible);
    frameAfterPresses(0);
    EXPECT_EQ(demoSpy().toggles, 1);
    frameAfterPresses(1);
    EXPECT_TRUE(slave().visible);
    frameAfterPresses(1);
    EXPECT_FALSE(slave().visible);
    EXPECT_EQ(demoSpy().toggles, 3);
    // The link is never undone and never renewed past a count of 1.
    EXPECT_EQ(demoSpy().links, 2);
    EXPECT_EQ(slave().followCamera, panels::master_panel);
    EXPECT_TRUE(vqtest::panel(panels::master_panel).visible);
}

TEST_F(PanelDemo, TwoPressesBetweenFramesToggleOnceAndNeverLink)
{
    frameAfterPresses(2);
    EXPECT_EQ(demoSpy().toggles, 1);
    EXPECT_FALSE(slave().visible);
    frameAfterPresses(0);
    frameAfterPresses(0);
    EXPECT_EQ(demoSpy().toggles, 1);
    EXPECT_EQ(demoSpy().links, 0);
    EXPECT_EQ(slave().followCamera, -1);

    // Three more presses at once are still one change of the count.
    frameAfterPresses(3);
    EXPECT_EQ(demoSpy().toggles, 2);
    EXPECT_TRUE(slave().visible);
}
