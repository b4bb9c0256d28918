#include "support/ShownErrors.h"
#include "ui/CommandGate.h"
#include "ui/ErrorBox.h"
#include "ui/Form.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace quendix::ui;
using quendix::testing::ShownErrors;

namespace {

const ControlSpec kControls[] = {
    {Kind::Label, "Label1", nullptr, "Title", 8, 8, 100, 13, Bold | TextWhite},
    {Kind::Panel, "Panel1", nullptr, "", 8, 30, 200, 80, None, "Panel hint"},
    {Kind::RadioButton, "RadioButton1", "Panel1", "One", 8, 8, 100, 17, TextWhite | Checked, "Own hint"},
    {Kind::RadioButton, "RadioButton2", "Panel1", "Two", 8, 28, 100, 17, TextWhite},
    {Kind::Button, "Button1", nullptr, "OK", 8, 120, 75, 25, DefaultButton},
    {Kind::Button, "Button2", nullptr, "Cancel", 90, 120, 75, 25, CancelButton},
    {Kind::TabControl, "PageControl1", nullptr, "", 220, 8, 200, 150},
    {Kind::TabSheet, "TabSheet1", "PageControl1", " First ", 0, 0, 0, 0},
    {Kind::TabSheet, "TabSheet2", "PageControl1", " Second ", 0, 0, 0, 0},
    {Kind::GroupBox, "GroupBox1", "TabSheet2", "Box", 4, 4, 150, 60},
    {Kind::Label, "Label2", "GroupBox1", "inside", 10, 20, 100, 13},
    {Kind::ListBox, "ListBox1", nullptr, "", 8, 160, 200, 100},
};
const MenuItemSpec kFileItems[] = {{"Exit1", "Exit"}};
const MenuSpec kMenus[] = {{"File1", "File", kFileItems}};
const FormSpec kSpec{"Sample", 430, 270, Border::Dialog, Colour::InfoText, true, 0, 0, kControls};

class SampleForm : public Form {
public:
    Label Label1;
    RadioButton RadioButton1, RadioButton2;
    Button Button1, Button2;
    TabControl PageControl1;
    ListBox ListBox1;
    int ok = 0, cancel = 0, radio2 = 0, exits = 0;
    bool failInCreate = false;
    bool createdAfterFailure = false;

    void build() { create(kSpec, kMenus); }
    void pickTab(int i) { selectTab(PageControl1, i); }
    void rebuildList() { rebuildControl(ListBox1); }

protected:
    void bindControls() override
    {
        bind(Label1, "Label1");
        bind(RadioButton1, "RadioButton1");
        bind(RadioButton2, "RadioButton2");
        bind(Button1, "Button1");
        bind(Button2, "Button2");
        bind(PageControl1, "PageControl1");
        bind(ListBox1, "ListBox1");
        onClick(Button1, [this] { ++ok; });
        onClick(Button2, [this] { ++cancel; throw std::runtime_error("Cancelled"); });
        onClick(RadioButton2, [this] { ++radio2; });
        onMenu("Exit1", [this] { ++exits; });
    }
    void FormCreate() override
    {
        Label1.setText("Set in create");
        if (failInCreate)
            throw std::runtime_error("File not found");
        createdAfterFailure = true;
    }
};

} // namespace

TEST(Form, BuildsHiddenWithExactClientSizeAndNamedControls)
{
    SampleForm form;
    form.build();
    EXPECT_FALSE(form.visible());
    RECT r;
    GetClientRect(form.handle(), &r);
    EXPECT_EQ(r.right, 430);
    EXPECT_EQ(r.bottom, 270);
    EXPECT_EQ(form.Label1.text(), "Set in create");
    EXPECT_TRUE(form.RadioButton1.checked());
    EXPECT_FALSE(form.RadioButton2.checked());
    EXPECT_EQ(form.PageControl1.count(), 2);
    EXPECT_EQ(form.PageControl1.tabCaption(1), " Second ");
    EXPECT_THROW(form.controlHandle("Nope"), std::logic_error);
    char text[64];
    GetWindowTextA(form.handle(), text, sizeof text);
    EXPECT_STREQ(text, "Sample");
}

TEST(Form, ClicksReachTheirHandlersAndFailuresAreShown)
{
    ShownErrors errors;
    SampleForm form;
    form.build();
    form.Button1.click();
    form.RadioButton2.click();
    EXPECT_EQ(form.ok, 1);
    EXPECT_EQ(form.radio2, 1);
    EXPECT_TRUE(form.RadioButton2.checked());
    EXPECT_FALSE(form.RadioButton1.checked());
    form.Button2.click();
    EXPECT_EQ(errors.texts, (std::vector<std::string>{"Cancelled."}));
    form.chooseMenuItem("Exit1");
    EXPECT_EQ(form.exits, 1);
}

TEST(Form, EnterAndEscPressTheDefaultAndCancelButtons)
{
    ShownErrors errors;
    SampleForm form;
    form.build();
    SendMessageA(form.handle(), WM_COMMAND, IDOK, 0);
    SendMessageA(form.handle(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(form.ok, 1);
    EXPECT_EQ(form.cancel, 1);
}

TEST(Form, EnterGoesToTheFocusedPushButtonOtherwiseTheDefault)
{
    SampleForm form;
    form.build();
    form.show();
    SetFocus(form.RadioButton1.handle());
    EXPECT_EQ(LOWORD(SendMessageA(form.handle(), DM_GETDEFID, 0, 0)), form.Button1.id());
    SetFocus(form.Button2.handle());
    LRESULT def = SendMessageA(form.handle(), DM_GETDEFID, 0, 0);
    EXPECT_EQ(HIWORD(def), DC_HASDEFID);
    EXPECT_EQ(LOWORD(def), form.Button2.id());
    form.hide();
}

TEST(Form, NoCommandOrCloseRunsWhileTheGateIsShut)
{
    SampleForm form;
    form.build();
    form.show();
    bool open = false;
    CommandGate previous = setCommandGate([&open](const Form&) { return open; });
    form.Button1.click();
    form.chooseMenuItem("Exit1");
    SendMessageA(form.handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(form.ok, 0);
    EXPECT_EQ(form.exits, 0);
    EXPECT_TRUE(form.visible());
    open = true;
    form.Button1.click();
    EXPECT_EQ(form.ok, 1);
    setCommandGate(previous);
}

TEST(Form, AFailingCreationStepIsShownAndTheWindowStillWorks)
{
    ShownErrors errors;
    SampleForm form;
    form.failInCreate = true;
    form.build();
    EXPECT_EQ(errors.texts, (std::vector<std::string>{"File not found."}));
    EXPECT_FALSE(form.createdAfterFailure);
    EXPECT_EQ(form.Label1.text(), "Set in create");
    form.Button1.click();
    EXPECT_EQ(form.ok, 1);
}

TEST(Form, TabPagesShowOneAtATimeAndGroupBoxChildrenStandOnTheirPage)
{
    SampleForm form;
    form.build();
    form.show();
    HWND first = form.controlHandle("TabSheet1");
    HWND second = form.controlHandle("TabSheet2");
    EXPECT_TRUE(IsWindowVisible(first));
    EXPECT_FALSE(IsWindowVisible(second));
    form.pickTab(1);
    EXPECT_FALSE(IsWindowVisible(first));
    EXPECT_TRUE(IsWindowVisible(second));
    EXPECT_EQ(form.PageControl1.selectedIndex(), 1);
    HWND inside = form.controlHandle("Label2");
    EXPECT_EQ(GetParent(inside), second);
    RECT r;
    GetWindowRect(inside, &r);
    MapWindowPoints(HWND_DESKTOP, second, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 14);
    EXPECT_EQ(r.top, 24);
    form.hide();
}

TEST(Form, ListBoxKeepsRowsInOrderUnsorted)
{
    SampleForm form;
    form.build();
    form.ListBox1.beginUpdate(3);
    for (const char* row : {"b", "", "a", "  lead"})
        form.ListBox1.add(row);
    form.ListBox1.endUpdate();
    EXPECT_EQ(form.ListBox1.items(), (std::vector<std::string>{"b", "", "a", "  lead"}));
}

TEST(Form, ARebuiltControlIsEmptyKeepsItsPlaceAndIsFoundByName)
{
    SampleForm form;
    form.build();
    form.ListBox1.add("row");
    HWND old = form.ListBox1.handle();
    HWND above = GetWindow(old, GW_HWNDPREV);
    RECT before = form.ListBox1.bounds();
    int id = form.ListBox1.id();
    form.rebuildList();
    EXPECT_FALSE(IsWindow(old));
    EXPECT_NE(form.ListBox1.handle(), old);
    EXPECT_EQ(form.controlHandle("ListBox1"), form.ListBox1.handle());
    EXPECT_EQ(form.ListBox1.count(), 0);
    EXPECT_EQ(form.ListBox1.id(), id);
    EXPECT_EQ(GetWindow(form.ListBox1.handle(), GW_HWNDPREV), above);
    RECT after = form.ListBox1.bounds();
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.bottom, before.bottom);
}
