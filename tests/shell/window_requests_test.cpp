// The window's own repaint requests, which no menu command sends: each
// invalidates its own part, and only when there is something to repaint;
// the ids nothing handles change nothing.

#include <gtest/gtest.h>

#include "resources/command_ids.h"
#include "shell/command_dispatcher.h"
#include "window_painting_support.h"

namespace {

using namespace resources;

// What the host was asked for, as counts: a request that reaches its
// handler changes at least one of them.
struct HostCalls {
    size_t invalidations, dialogs, fileDialogs, messages, menuChecks;
    bool closing;
    explicit HostCalls(const platform::ScriptedHost& h)
        : invalidations(h.invalidations.size()),
          dialogs(h.dialogs.size()),
          fileDialogs(h.fileDialogs.size()),
          messages(h.messages.size()),
          menuChecks(h.menuChecks.size()),
          closing(h.closeRequested)
    {
    }
    bool operator==(const HostCalls&) const = default;
};

platform::Rect widened(const views::LayoutRect& r, int32_t by)
{
    return {r.left - by, r.top - by, r.right + 1 + by, r.bottom + 1 + by};
}

TEST(WindowRequests, RepaintRequestsInvalidateTheirPartsAndUnhandledIdsNothing)
{
    PaintedWindow w;
    ASSERT_TRUE(w.started);
    shell::AppState& s = w.state;
    const HostCalls before(w.host);
    const int32_t view = s.viewState;
    for (int id : {int{CmdSettingsChanged}, int{CmdNothing}, 0, 203, 222, 40099})
        shell::dispatchCommand(s, w.host, id);
    EXPECT_EQ(HostCalls(w.host), before);
    EXPECT_EQ(s.viewState, view);

    // The subset area is repainted only once the grid has laid it out.
    shell::dispatchCommand(s, w.host, CmdRepaintSubset);
    EXPECT_EQ(HostCalls(w.host), before);

    // The button column only when it is to be refreshed.
    s.refreshButtons = 0;
    shell::dispatchCommand(s, w.host, CmdRepaintButtons);
    EXPECT_EQ(HostCalls(w.host), before);
    s.refreshButtons = 1;
    shell::dispatchCommand(s, w.host, CmdRepaintButtons);
    ASSERT_EQ(w.host.invalidations.size(), before.invalidations + 1);
    EXPECT_EQ(w.host.invalidations.back().rect, (platform::Rect{s.buttonRegion.left, s.buttonRegion.top,
                                                                s.buttonRegion.right + 2, s.buttonRegion.bottom + 2}));
    EXPECT_TRUE(w.host.invalidations.back().erase);

    shell::dispatchCommand(s, w.host, CmdRepaintWindow);
    ASSERT_EQ(w.host.invalidations.size(), before.invalidations + 2);
    EXPECT_FALSE(w.host.invalidations.back().rect);
    EXPECT_TRUE(w.host.invalidations.back().erase);

    shell::dispatchCommand(s, w.host, IdSelectSetOfPulses);
    w.paint();
    ASSERT_LE(s.subsetArea.left, s.subsetArea.right);
    w.host.invalidations.clear();
    shell::dispatchCommand(s, w.host, CmdRepaintSubset);
    ASSERT_EQ(w.host.invalidations.size(), 1u);
    EXPECT_EQ(w.host.invalidations[0].rect, widened(s.subsetArea, 10));
}

}  // namespace
