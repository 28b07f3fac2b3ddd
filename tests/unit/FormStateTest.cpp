// The placement record of a window: its element in the preferences file and
// the rules by which it is applied to and taken from a window.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "config/uFormState.h"
#include "protocol/uXMLHelpers.h"
#include "support/TFakeFormWindow.h"

namespace lumaren {
namespace {

using test::TFakeFormWindow;
using test::TFakeRect;

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

// A window in its slot and a record bound to the slot.
class FormStateTest : public ::testing::Test {
 protected:
  TFakeFormWindow window;
  platform::TFormWindow* slot = &window;
  TQelFormState state{&slot};

  void SetState(std::int32_t top, std::int32_t left, std::int32_t height, std::int32_t width,
                bool maximised = false) {
    state.Top = top;
    state.Left = left;
    state.Height = height;
    state.Width = width;
    state.Maximised = maximised;
  }

  // Parses "<Windows>...</Windows>" and reads the record from it.
  void Read(const std::string& windowsXml) {
    pugi::xml_document doc;
    LoadXMLText(doc, windowsXml);
    state.XMLRead(doc.document_element());
  }

  // The element the record writes, attributes in order: "Name=value ...".
  std::string WrittenAttributes() {
    pugi::xml_document doc;
    TXMLNode parent = doc.append_child("Windows");
    state.XMLWrite(parent);
    std::string result;
    for (TXMLNode child : parent.children()) {
      result += child.name();
      for (auto att : child.attributes()) result += std::string(" ") + att.name() + "=" + att.value();
      result += ";";
    }
    return result;
  }
};

TEST_F(FormStateTest, StartsFromTheDefaultsWithEveryAspect) {
  EXPECT_EQ(state.Top, 0);
  EXPECT_EQ(state.Left, 0);
  EXPECT_EQ(state.Height, 300);
  EXPECT_EQ(state.Width, 400);
  EXPECT_FALSE(state.Open);
  EXPECT_FALSE(state.Maximised);
  EXPECT_EQ(state.FormStateProps, TFormStateProps::All());
  for (auto p : {TFormStateProp::fppPosition, TFormStateProp::fppSize, TFormStateProp::fppOpen,
                 TFormStateProp::fppMaximised})
    EXPECT_TRUE(state.FormStateProps.Contains(p));
}

TEST_F(FormStateTest, ElementWithoutAttributesGivesTheFallbacks) {
  SetState(11, 12, 13, 14, true);
  state.Open = true;
  Read("<Windows><fmMain/></Windows>");
  EXPECT_EQ(state.Top, 0);
  EXPECT_EQ(state.Left, 0);
  EXPECT_EQ(state.Height, 300);
  EXPECT_EQ(state.Width, 400);
  EXPECT_FALSE(state.Open);
  EXPECT_FALSE(state.Maximised);
}

TEST_F(FormStateTest, FallbacksFollowTheDefaultValues) {
  state.DefaultTop = 7;
  state.DefaultLeft = 8;
  state.DefaultHeight = 9;
  state.DefaultWidth = 10;
  Read("<Windows><fmMain/></Windows>");
  EXPECT_EQ(state.Top, 7);
  EXPECT_EQ(state.Left, 8);
  EXPECT_EQ(state.Height, 9);
  EXPECT_EQ(state.Width, 10);
}

TEST_F(FormStateTest, ReadsEveryAttribute) {
  Read(R"(<Windows><fmMain Top="-20" Left="1930" Height="500" Width="$280" Open="True" Maximised="-1"/></Windows>)");
  EXPECT_EQ(state.Top, -20);
  EXPECT_EQ(state.Left, 1930);
  EXPECT_EQ(state.Height, 500);
  EXPECT_EQ(state.Width, 640);
  EXPECT_TRUE(state.Open);
  EXPECT_TRUE(state.Maximised);
}

TEST_F(FormStateTest, UnreadableAttributesGiveTheirFallback) {
  Read(R"(<Windows><fmMain Top="1x" Left="" Height="abc" Width="4 00" Open="yes" Maximised="maybe"/></Windows>)");
  EXPECT_EQ(state.Top, 0);
  EXPECT_EQ(state.Left, 0);
  EXPECT_EQ(state.Height, 300);
  EXPECT_EQ(state.Width, 400);
  EXPECT_FALSE(state.Open);
  EXPECT_FALSE(state.Maximised);
}

TEST_F(FormStateTest, WithoutItsElementEveryFieldStays) {
  const char* const documents[] = {
      "<Windows/>",
      R"(<Windows><fmOther Top="1" Left="1" Height="1" Width="1" Open="-1" Maximised="-1"/></Windows>)",
      // Only the direct children count.
      R"(<Windows><Inner><fmMain Top="1"/></Inner></Windows>)",
  };
  for (const char* xml : documents) {
    SCOPED_TRACE(xml);
    SetState(-5, 6, 700, 800, true);
    state.Open = true;
    Read(xml);
    EXPECT_EQ(state.Top, -5);
    EXPECT_EQ(state.Left, 6);
    EXPECT_EQ(state.Height, 700);
    EXPECT_EQ(state.Width, 800);
    EXPECT_TRUE(state.Open);
    EXPECT_TRUE(state.Maximised);
  }
}

TEST_F(FormStateTest, TheFirstElementOfTheNameCounts) {
  Read(R"(<Windows><fmMain Top="1"/><fmMain Top="2"/></Windows>)");
  EXPECT_EQ(state.Top, 1);
}

TEST_F(FormStateTest, WritesTheElementNamedAfterTheWindowInAttributeOrder) {
  SetState(-3, 25, 480, 640, false);
  state.Open = true;
  EXPECT_EQ(WrittenAttributes(), "fmMain Top=-3 Left=25 Height=480 Width=640 Open=-1 Maximised=0;");
}

TEST_F(FormStateTest, WrittenDocumentText) {
  pugi::xml_document doc;
  NewXMLDocument(doc);
  state.XMLWrite(doc.append_child("Windows"));
  EXPECT_EQ(SaveXMLText(doc),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<Windows>\n"
            "  <fmMain Top=\"0\" Left=\"0\" Height=\"300\" Width=\"400\" Open=\"0\" Maximised=\"0\" />\n"
            "</Windows>\n");
}

TEST_F(FormStateTest, WriteAppendsWithoutLookingForAnExistingElement) {
  pugi::xml_document doc;
  TXMLNode parent = doc.append_child("Windows");
  state.XMLWrite(parent);
  state.XMLWrite(parent);
  EXPECT_EQ(std::distance(parent.children("fmMain").begin(), parent.children("fmMain").end()), 2);
}

TEST_F(FormStateTest, OpenSurvivesReadAndWrite) {
  Read(R"(<Windows><fmMain Open="-1"/></Windows>)");
  ASSERT_TRUE(state.Open);
  state.StateSave();
  state.StateLoad();
  EXPECT_TRUE(state.Open);
  EXPECT_NE(WrittenAttributes().find("Open=-1"), std::string::npos) << WrittenAttributes();
}

TEST_F(FormStateTest, WithoutSizeNoSizeIsWrittenReadAppliedOrTaken) {
  state.FormStateProps.Exclude(TFormStateProp::fppSize);
  SetState(1, 2, 333, 444);
  EXPECT_EQ(WrittenAttributes(), "fmMain Top=1 Left=2 Open=0 Maximised=0;");

  Read(R"(<Windows><fmMain Top="5" Left="6" Height="10" Width="20"/></Windows>)");
  EXPECT_EQ(state.Top, 5);
  EXPECT_EQ(state.Height, 333);
  EXPECT_EQ(state.Width, 444);

  window.Place({100, 100, 900, 700});
  state.StateLoad();
  for (const auto& call : window.Calls) {
    EXPECT_EQ(call.find("SetHeight"), std::string::npos) << call;
    EXPECT_EQ(call.find("SetWidth"), std::string::npos) << call;
  }
  EXPECT_EQ(window.Width(), 900);
  EXPECT_EQ(window.Height(), 700);

  state.StateSave();
  EXPECT_EQ(state.Height, 333);
  EXPECT_EQ(state.Width, 444);
  EXPECT_EQ(state.Left, 6);
}

TEST_F(FormStateTest, WithoutPositionNoPositionIsTouched) {
  state.FormStateProps.Exclude(TFormStateProp::fppPosition);
  SetState(40, 50, 333, 444);
  EXPECT_EQ(WrittenAttributes(), "fmMain Height=333 Width=444 Open=0 Maximised=0;");
  window.Place({100, 200, 900, 700});
  state.StateLoad();
  EXPECT_EQ(window.Calls, (std::vector<std::string>{"SetHeight 333", "SetWidth 444"}));
  state.StateSave();
  EXPECT_EQ(state.Top, 40);
  EXPECT_EQ(state.Left, 50);
}

TEST_F(FormStateTest, LoadAppliesPositionThenSizeThenMaximises) {
  window.Monitors = {{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
  SetState(10, 2000, 480, 640, true);
  state.StateLoad();
  EXPECT_EQ(window.Calls, (std::vector<std::string>{"SetTop 10", "SetLeft 2000", "SetHeight 480", "SetWidth 640",
                                                    "Maximise"}));
  // Maximised on the monitor of the stored placement, which stays the
  // restored one.
  EXPECT_TRUE(window.Maximised());
  EXPECT_EQ(window.Left(), 1920);
  EXPECT_EQ(window.Restored().Left, 2000);
  EXPECT_EQ(window.Restored().Width, 640);
}

TEST_F(FormStateTest, MaximisedNotAppliedWithoutItsAspect) {
  state.FormStateProps.Exclude(TFormStateProp::fppMaximised);
  SetState(0, 0, 300, 400, true);
  state.StateLoad();
  EXPECT_FALSE(window.Maximised());
}

TEST_F(FormStateTest, LoadWithMaximisedFalseNeverRestores) {
  window.Place({0, 0, 800, 600});
  window.Maximise();
  SetState(20, 30, 300, 400, false);
  state.StateLoad();
  EXPECT_TRUE(window.Maximised());
  EXPECT_EQ(window.Calls.back(), "SetWidth 400");  // no restore, no second maximise
  // The stored placement is where the window returns to.
  EXPECT_EQ(window.Restored().Left, 30);
  EXPECT_EQ(window.Restored().Top, 20);
  EXPECT_EQ(window.Restored().Width, 400);
}

TEST_F(FormStateTest, WindowOffEveryMonitorGoesToTheTopLeftCorner) {
  struct Case {
    const char* what;
    std::int32_t top, left, height, width;
    bool moved;
  };
  const Case cases[] = {
      {"left edge far to the right", 0, 5000, 480, 640, true},
      {"left edge just past the right edge", 0, 1920, 480, 640, true},
      {"one pixel column on the right", 100, 1919, 480, 640, false},
      {"one pixel column on the left", 100, -639, 480, 640, false},
      {"just left of the monitor", 100, -640, 480, 640, true},
      {"one pixel row at the bottom", 1079, 100, 480, 640, false},
      {"above the monitor", -480, 100, 480, 640, true},
      {"extreme values", kMin, kMax, kMax, kMax, true},
      {"extreme negative size", kMax, kMin, kMin, kMin, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    window.Calls.clear();
    window.Place({0, 0, 10, 10});
    SetState(c.top, c.left, c.height, c.width);
    state.StateLoad();
    EXPECT_EQ(window.Top(), c.moved ? 0 : c.top);
    EXPECT_EQ(window.Left(), c.moved ? 0 : c.left);
    // The size stays what was applied (within the window's own limits).
    EXPECT_EQ(window.Height(), std::max(c.height, window.MinHeight));
    EXPECT_EQ(window.Width(), std::max(c.width, window.MinWidth));
  }
}

TEST_F(FormStateTest, WindowOnASecondMonitorStays) {
  window.Monitors = {{0, 0, 1920, 1080}, {1920, -200, 1280, 1024}};
  SetState(-150, 2500, 300, 400);
  state.StateLoad();
  EXPECT_EQ(window.Top(), -150);
  EXPECT_EQ(window.Left(), 2500);
}

TEST_F(FormStateTest, SaveTakesPlacementOfANormalWindow) {
  window.Place({-5, 15, 222, 333});
  state.Maximised = true;
  state.StateSave();
  EXPECT_EQ(state.Left, -5);
  EXPECT_EQ(state.Top, 15);
  EXPECT_EQ(state.Width, 222);
  EXPECT_EQ(state.Height, 333);
  EXPECT_FALSE(state.Maximised);
}

TEST_F(FormStateTest, SaveWhileMaximisedKeepsTheRestoredSize) {
  window.Monitors = {{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
  window.Place({2000, 50, 640, 480});
  window.Maximise();
  SetState(1, 2, 300, 400);
  state.StateSave();
  EXPECT_TRUE(state.Maximised);
  EXPECT_EQ(state.Left, 1920);  // the maximised position
  EXPECT_EQ(state.Top, 0);
  EXPECT_EQ(state.Height, 300);
  EXPECT_EQ(state.Width, 400);

  // The next start: the stored placement, then maximised on that monitor.
  TFakeFormWindow next;
  next.Monitors = window.Monitors;
  slot = &next;
  state.StateLoad();
  EXPECT_EQ(next.Calls, (std::vector<std::string>{"SetTop 0", "SetLeft 1920", "SetHeight 300", "SetWidth 400",
                                                  "Maximise"}));
  EXPECT_TRUE(next.Maximised());
  EXPECT_EQ(next.Left(), 1920);
}

TEST_F(FormStateTest, AssignCopiesEveryFieldAndTheWindowReference) {
  TFakeFormWindow other("fmOther");
  platform::TFormWindow* otherSlot = &other;
  TQelFormState source(&otherSlot);
  source.DefaultHeight = 1;
  source.DefaultLeft = 2;
  source.DefaultTop = 3;
  source.DefaultWidth = 4;
  source.FormStateProps = {TFormStateProp::fppOpen};
  source.Top = 5;
  source.Left = 6;
  source.Height = 7;
  source.Width = 8;
  source.Open = true;
  source.Maximised = true;
  state.Assign(source);
  EXPECT_EQ(state.DefaultHeight, 1);
  EXPECT_EQ(state.DefaultLeft, 2);
  EXPECT_EQ(state.DefaultTop, 3);
  EXPECT_EQ(state.DefaultWidth, 4);
  EXPECT_EQ(state.FormStateProps, TFormStateProps{TFormStateProp::fppOpen});
  EXPECT_EQ(state.Top, 5);
  EXPECT_EQ(state.Left, 6);
  EXPECT_EQ(state.Height, 7);
  EXPECT_EQ(state.Width, 8);
  EXPECT_TRUE(state.Open);
  EXPECT_TRUE(state.Maximised);
  EXPECT_EQ(WrittenAttributes(), "fmOther Open=-1;");
}

TEST_F(FormStateTest, TheWindowIsFetchedFromTheSlotOnEveryUse) {
  slot = nullptr;
  EXPECT_THROW(state.StateLoad(), std::logic_error);
  EXPECT_THROW(state.StateSave(), std::logic_error);
  TFakeFormWindow later("fmLater");
  slot = &later;
  EXPECT_EQ(WrittenAttributes().substr(0, 7), "fmLater");
}

}  // namespace
}  // namespace lumaren
