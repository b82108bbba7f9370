// The window resources: every outlet the controllers expect, of its kind, and the menus' fixed
// items in order; the host's hooks kept by the toolkit.
#include "forms/WindowResources.hpp"
#include "qt/QtUser.hpp"

using namespace kiv;
using kivtest::QtFixture;

extern "C" void HostBeep(void);

TEST_F(QtFixture, EveryResourceHasItsOutletsAndTheHostsBeepStays) {
    for (const forms::WindowResource &r : forms::kWindowResources) {
        SCOPED_TRACE(r.name);
        auto form = forms::CurrentToolkit().LoadForm(bundle_, r.name);
        for (const char *n : r.fields) EXPECT_NE(form->Field(n), nullptr) << n;
        for (const char *n : r.checks) EXPECT_NE(form->Check(n), nullptr) << n;
        for (const char *n : r.radios) EXPECT_NE(form->Radio(n), nullptr) << n;
        for (const char *n : r.buttons) EXPECT_NE(form->ButtonNamed(n), nullptr) << n;
        for (const forms::MenuOutlet &m : r.menus) {
            forms::PopUpMenu *menu = form->Menu(m.name);
            ASSERT_NE(menu, nullptr) << m.name;
            std::vector<int64_t> tags, expected;
            for (int i = 0; i < menu->Count(); ++i)
                if (menu->TagAt(i) != -1000) tags.push_back(menu->TagAt(i));  // separators carry none
            for (const forms::FixedMenuItem &item : m.fixedItems) expected.push_back(item.tag);
            EXPECT_EQ(tags, expected) << m.name;
        }
    }
    EXPECT_EQ(KIVGetBeepProc(), &HostBeep);     // the host's beep survives the toolkit
    EXPECT_NE(KIVGetOptionKeyProc(), nullptr);  // none was installed: Qt's
}
