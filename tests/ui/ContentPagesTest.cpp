// The "Content" tab in both modes and the editor of the picture lists, driven as a user would.
#include "UiFixture.h"

#include "settings/SettingsStore.h"

namespace camtag::test {
namespace {

std::string ComboItem(HWND page, int id, int index) {
    char text[128] = {};
    SendDlgItemMessageA(page, id, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
    return text;
}

std::vector<std::string> ListItems(HWND editor) {
    std::vector<std::string> items;
    const LRESULT count = SendDlgItemMessageA(editor, 1030, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        char text[64] = {};
        SendDlgItemMessageA(editor, 1030, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
        items.push_back(text);
    }
    return items;
}

bool Enabled(HWND window, int id) {
    return IsWindowEnabled(GetDlgItem(window, id)) != FALSE;
}

// 28 era signs: a picture of the longest length whose date (an era name per sign here) does not
// fit the 49 characters a list item holds.
const char kUnwritableDate[] = "gggggggggggggggggggggggggggg";

using DateTimePageTest = UiTest;

TEST_F(DateTimePageTest, EditsReachTheRecordAsTheirFieldsHoldThem) {
    NewInstance();
    const FilterSettings before = *host.settings();
    // The adjustment: only the first 5 (year) or 3 characters count; two's complement truncation.
    struct Edit {
        int id;
        const char* typed;
    };
    const Edit edits[] = {
        {1068, "-2000"}, {1069, "13x"}, {1070, "1234"}, {1071, "-1"}, {1072, "200"}, {1073, "abc"},
    };
    OnPage(0, [&](DialogScript& script, HWND&, HWND& page) {
        script
            .Then([&] {
                for (int id = 1068; id <= 1073; ++id)
                    EXPECT_EQ(ControlText(page, id), "0");
                for (const Edit& e : edits)
                    SetText(page, e.id, e.typed);
                SetText(page, 1062, "A title longer than thirty-one characters");
                PickItem(page, 1016, 0); // no time
                PickItem(page, 1014, 1);
            })
            .Then([&] { EXPECT_EQ(ComboItem(page, 1016, 0), "<empty>"); });
    });
    const FilterSettings& s = *host.settings();
    EXPECT_EQ(std::string(s.title, 31), "A title longer than thirty-one ");
    EXPECT_EQ(s.title[31], '\0');
    EXPECT_EQ(s.timeformat, 0u);
    EXPECT_EQ(s.dateformat, 1u);
    // Hours -1, minutes 200 as -56, seconds 0; years -2000, months 13, days 123.
    EXPECT_EQ(static_cast<uint32_t>(s.timeadjust), 0x00FFC800u);
    EXPECT_EQ(static_cast<uint32_t>(s.dateadjust),
              (static_cast<uint32_t>(static_cast<uint16_t>(-2000)) << 16) | (13u << 8) | 123u);
    EXPECT_EQ(s.changeCount, before.changeCount + 1);

    // A sixth year digit changes nothing; the edits show the stored parts sign-extended.
    OnPage(0, [&](DialogScript& script, HWND&, HWND& page) {
        script
            .Then([&] {
                EXPECT_EQ(ControlText(page, 1068), "-2000");
                EXPECT_EQ(ControlText(page, 1072), "-56");
                EXPECT_EQ(ControlText(page, 1070), "123");
            })
            .Then([&] { SetText(page, 1068, "123456"); });
    });
    EXPECT_EQ(static_cast<uint32_t>(host.settings()->dateadjust) >> 16, 12345u);
}

// Negative values through the pages: what the dialog writes into a box is never changed by
// reading it back (parts of -100 and below, a year below -9999, a show duration of more than 8
// digits). Opening, leaving and reopening the Content tab, then OK, leaves the record as it was.
TEST_F(DateTimePageTest, NegativeValuesRoundTripThroughThePages) {
    struct Case {
        int32_t mode;
        uint32_t dateadjust, timeadjust, timecodestart, showduration;
        std::vector<std::pair<int, const char*>> shown;
    };
    const Case cases[] = {
        {0,
         0xD8F09C80u,
         0x7F9CFF80u,
         0,
         987654321u,
         {{1068, "-10000"},
          {1069, "-100"},
          {1070, "-128"},
          {1071, "-100"},
          {1072, "-1"},
          {1073, "-128"}}},
        {1,
         0,
         0,
         0x9C80FF97u,
         4000000000u,
         {{1079, "-100"}, {1077, "-128"}, {1076, "-1"}, {1074, "-105"}}},
    };
    NewInstance();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        FilterSettings* s = host.settings();
        s->mode = c.mode;
        s->dateadjust = static_cast<int32_t>(c.dateadjust);
        s->timeadjust = static_cast<int32_t>(c.timeadjust);
        s->timecodestart = static_cast<int32_t>(c.timecodestart);
        s->showduration = c.showduration;
        const FilterSettings before = *s;
        auto shows = [&](HWND dialog) {
            for (const auto& [id, text] : c.shown)
                EXPECT_EQ(ControlText(CurrentPage(dialog), id), text) << id;
            EXPECT_EQ(ControlText(dialog, 1064),
                      std::to_string(static_cast<int32_t>(c.showduration)));
        };
        HWND dialog = nullptr;
        DialogScript script;
        script.WaitFor(kSettingsCaption, &dialog)
            .Then([&] {
                shows(dialog);
                for (int tab : {1, 2, 0})
                    PickTab(dialog, 1052, tab);
            })
            .Then([&] { shows(dialog); })
            .Then([&] { Click(dialog, IDOK); })
            .WaitGone(kSettingsCaption);
        ASSERT_EQ(RunDialog(script), 0);
        EXPECT_EQ(std::memcmp(&before, host.settings(), sizeof before), 0);
    }
}

class PictureListsTest : public UiTest {
protected:
    void PrepareRegistry() override {
        SettingsStore::WriteString("tf02", "HH'h'mm");
        SettingsStore::WriteString("df02", "dddd");
        SettingsStore::WriteString("df03", kUnwritableDate);
    }
};

TEST_F(PictureListsTest, ListsShowThePicturesOnTheRecordingTime) {
    char probe[50];
    const SYSTEMTIME recorded{2004, 7, 4, 15, 14, 23, 5, 0};
    ASSERT_EQ(GetDateFormatA(LOCALE_USER_DEFAULT, 0, &recorded, kUnwritableDate, probe, 50), 0)
        << "the picture is meant to be one the system cannot write into 49 characters";
    NewInstance();
    host.settings()->dateformat = 9; // beyond the list: pulled back to its last slot
    OnPage(0, [&](DialogScript& script, HWND&, HWND& page) {
        script.Then([&] {
            const std::vector<std::string> dates = {
                ComboItem(page, 1014, 0), ComboItem(page, 1014, 1), ComboItem(page, 1014, 2),
                ComboItem(page, 1014, 3)};
            EXPECT_EQ(dates, (std::vector<std::string>{"<empty>", "15.07.04", "Thursday",
                                                       kUnwritableDate}));
            EXPECT_EQ(SendDlgItemMessageA(page, 1014, CB_GETCOUNT, 0, 0), 4);
            EXPECT_EQ(SendDlgItemMessageA(page, 1014, CB_GETCURSEL, 0, 0), 3);
            EXPECT_EQ(ComboItem(page, 1016, 2), "14h23");
        });
    });
    EXPECT_EQ(host.settings()->dateformat, 3u) << "the pulled-back index is stored";
}

class FormatListEditorTest : public UiTest {
protected:
    void PrepareRegistry() override {
        const char* pictures[] = {"d MMM", "yyyy", "dddd", "MMMM", "yy"};
        for (int n = 2; n <= 6; ++n)
            SettingsStore::WriteString(("df0" + std::to_string(n)).c_str(), pictures[n - 2]);
    }
    static std::vector<std::string> StoredDatePictures() {
        std::vector<std::string> found;
        for (int n = 2; n <= 6; ++n) {
            char picture[32];
            SettingsStore::ReadString(("df0" + std::to_string(n)).c_str(), picture, sizeof picture,
                                      "");
            if (picture[0])
                found.push_back(picture);
        }
        return found;
    }
};

TEST_F(FormatListEditorTest, AddChangeAndRemoveKeepTheSlotsAndSaveOnOk) {
    NewInstance();
    host.settings()->dateformat = 5; // "MMMM", slot 5
    HWND editor = nullptr;
    std::vector<std::string> shownBox;
    OnPage(0, [&](DialogScript& script, HWND&, HWND& page) {
        script.Then([&] { Click(page, 1030); })
            .WaitFor(L"Date Format", &editor)
            .Then([&] {
                EXPECT_EQ(ListItems(editor),
                          (std::vector<std::string>{"d MMM", "yyyy", "dddd", "MMMM", "yy"}));
                EXPECT_FALSE(Enabled(editor, 1032)) << "five pictures: Add is off";
                EXPECT_TRUE(Enabled(editor, 1035));
                EXPECT_EQ(ControlText(editor, 1014), "d MMM");
                EXPECT_EQ(ControlText(editor, 1036), "7 May");
                // Removing item 0 selects the former item 1; Add comes back.
                SendDlgItemMessageA(editor, 1030, LB_SETCURSEL, 0, 0);
                SendMessageA(editor, WM_COMMAND, 1033, 0);
                EXPECT_EQ(ListItems(editor),
                          (std::vector<std::string>{"yyyy", "dddd", "MMMM", "yy"}));
                EXPECT_EQ(SendDlgItemMessageA(editor, 1030, LB_GETCURSEL, 0, 0), 0);
                EXPECT_EQ(ControlText(editor, 1014), "yyyy");
                EXPECT_TRUE(Enabled(editor, 1032));
                // Removing the last item selects the new last one.
                SendDlgItemMessageA(editor, 1030, LB_SETCURSEL, 3, 0);
                SendMessageA(editor, WM_COMMAND, 1033, 0);
                EXPECT_EQ(SendDlgItemMessageA(editor, 1030, LB_GETCURSEL, 0, 0), 2);
                EXPECT_EQ(ControlText(editor, 1014), "MMMM");
                // Update the selected picture; then add one.
                SetText(editor, 1014, "dd.MM.yyyy");
                EXPECT_EQ(ControlText(editor, 1036), "07.05.2002");
                SendMessageA(editor, WM_COMMAND, 1035, 0);
                SetText(editor, 1014, "d/M");
                SendMessageA(editor, WM_COMMAND, 1032, 0);
                EXPECT_EQ(ListItems(editor),
                          (std::vector<std::string>{"yyyy", "dddd", "dd.MM.yyyy", "d/M"}));
            })
            // A picture longer than a slot keeps: the message, nothing changes, the edit keeps it.
            .Then([&] { SetText(editor, 1014, "yyyy yyyy yyyy yyyy yyyy yyyy"); })
            .Then([&] { Click(editor, 1032); })
            .Until([&] {
                HWND box = FindThreadDialog(L"Error!");
                if (!box)
                    return false;
                HWND text = GetDlgItem(box, 0xFFFF);
                shownBox.push_back(WindowText(text));
                Click(box, IDOK);
                return true;
            })
            .WaitGone(L"Error!")
            .Then([&] {
                EXPECT_EQ(ListItems(editor).size(), 4u);
                EXPECT_EQ(ControlText(editor, 1014), "yyyy yyyy yyyy yyyy yyyy yyyy");
                EXPECT_EQ(ControlText(editor, 1036), "");
            })
            .Then([&] { Click(editor, IDOK); })
            .WaitGone(L"Date Format")
            .Then([&] {
                // The page's list is filled anew; the record's index 5 now names the next picture.
                EXPECT_EQ(SendDlgItemMessageA(page, 1014, CB_GETCOUNT, 0, 0), 6);
                EXPECT_EQ(ComboItem(page, 1014, 5), "15/7");
            });
    });
    EXPECT_EQ(shownBox, std::vector<std::string>{"Invalid format. See help."});
    EXPECT_EQ(StoredDatePictures(),
              (std::vector<std::string>{"yyyy", "dddd", "dd.MM.yyyy", "d/M"}));
    EXPECT_EQ(host.settings()->dateformat, 5u);
}

TEST_F(FormatListEditorTest, CancelForgetsEveryChangeAndAnEmptyListOffersOnlyAdd) {
    NewInstance();
    HWND editor = nullptr;
    OnPage(0, [&](DialogScript& script, HWND&, HWND& page) {
        script.Then([&] { Click(page, 1030); })
            .WaitFor(L"Date Format", &editor)
            .Then([&] {
                for (int i = 0; i < 5; ++i) {
                    SendDlgItemMessageA(editor, 1030, LB_SETCURSEL, 0, 0);
                    SendMessageA(editor, WM_COMMAND, 1033, 0);
                }
                EXPECT_TRUE(ListItems(editor).empty());
                EXPECT_FALSE(Enabled(editor, 1035));
                EXPECT_FALSE(Enabled(editor, 1033));
            })
            .Then([&] { Click(editor, IDCANCEL); })
            .WaitGone(L"Date Format")
            .Then([&] { EXPECT_EQ(SendDlgItemMessageA(page, 1014, CB_GETCOUNT, 0, 0), 7); })
            // The time list has no user pictures: an empty editor, Add only.
            .Then([&] { Click(page, 1029); })
            .WaitFor(L"Time Format", &editor)
            .Then([&] {
                EXPECT_TRUE(ListItems(editor).empty());
                EXPECT_EQ(ControlText(editor, 1014), "");
                EXPECT_EQ(ControlText(editor, 1036), "");
                EXPECT_TRUE(Enabled(editor, 1032));
                EXPECT_FALSE(Enabled(editor, 1035));
                EXPECT_FALSE(Enabled(editor, 1033));
                SetText(editor, 1014, "HH':'mm':'ss");
                EXPECT_EQ(ControlText(editor, 1036), "09:03:07");
                SendMessageA(editor, WM_COMMAND, 1032, 0);
                EXPECT_EQ(ListItems(editor).size(), 1u);
            })
            .Then([&] { Click(editor, IDCANCEL); })
            .WaitGone(L"Time Format");
    });
    EXPECT_EQ(StoredDatePictures(),
              (std::vector<std::string>{"d MMM", "yyyy", "dddd", "MMMM", "yy"}));
    char stored[32];
    SettingsStore::ReadString("tf02", stored, sizeof stored, "none");
    EXPECT_STREQ(stored, "none");
}

using TimecodePageTest = UiTest;

TEST_F(TimecodePageTest, BoxesRadiosAndStartValueReachTheRecord) {
    NewInstance();
    FilterSettings* s = host.settings();
    s->mode = 1;
    s->timecodemode =
        0x40 | kTimecodeTimeline | kTimecodeClip | kTimecodeTape; // bit 6 is not the page's
    s->flags = 0x100 | kFlagShowFrames | kFlagShowHours;
    s->timecodestart = 0;
    OnPage(0, [&](DialogScript& script, HWND&, HWND& page) {
        script
            .Then([&] {
                EXPECT_TRUE(IsDlgButtonChecked(page, 1065));
                EXPECT_EQ(ControlText(page, 1058), "Initial value of timecode (Timeline)");
                // The start caption: Timeline off with the clip on names the clip; both off keeps
                // the last.
                Click(page, 1053);
            })
            .Then([&] { EXPECT_EQ(ControlText(page, 1058), "Initial value of timecode (clip)"); })
            .Then([&] { Click(page, 1054); })
            .Then([&] {
                EXPECT_EQ(ControlText(page, 1058), "Initial value of timecode (clip)");
                // The form: Frames greys hours and frames but keeps their checks; Time relabels.
                Click(page, 1067);
            })
            .Then([&] {
                EXPECT_FALSE(Enabled(page, 1063));
                EXPECT_FALSE(Enabled(page, 1080));
                EXPECT_TRUE(IsDlgButtonChecked(page, 1063));
                Click(page, 1066);
            })
            .Then([&] {
                EXPECT_TRUE(Enabled(page, 1063));
                EXPECT_EQ(ControlText(page, 1063), "Show ticks");
                Click(page, 1055);
                Click(page, 1061);
                Click(page, 1080);
                SetText(page, 1074, "75");
                SetText(page, 1076, "-5");
                SetText(page, 1077, "ab");
                SetText(page, 1079, "2001");
            });
    });
    s = host.settings();
    EXPECT_EQ(s->timecodemode, 0x40 | 0x10 | kTimecodeSourceFile | kTimecodeTape);
    EXPECT_EQ(s->flags, 0x100 | kFlagShowFrames | kFlagShowPrefix);
    // Hours "200" of "2001", minutes 0, seconds -5, frames 75: carried only when the text is made.
    EXPECT_EQ(static_cast<uint32_t>(s->timecodestart),
              (200u << 24) | (0u << 16) | (0xFBu << 8) | 75u);
}

TEST_F(TimecodePageTest, ATapeTimecodeNeedsADvSourceAndAnUnknownFormShowsNoChoice) {
    const std::string missing = DataPath("missing.avi");
    NewInstance(0, missing.c_str());
    FilterSettings* s = host.settings();
    ASSERT_EQ(s->dvSource, 0);
    s->mode = 1;
    s->timecodemode = 0x30 | kTimecodeTape; // form 3: no radio fits
    OnPage(0, [&](DialogScript& script, HWND&, HWND& page) {
        script
            .Then([&] {
                EXPECT_FALSE(Enabled(page, 1056));
                EXPECT_TRUE(IsDlgButtonChecked(page, 1056)) << "greyed, yet showing the stored bit";
                for (int id : {1065, 1066, 1067})
                    EXPECT_FALSE(IsDlgButtonChecked(page, id));
                EXPECT_EQ(ControlText(page, 1058), "Initial");
                Click(page, 1065);
            })
            .Then([&] { EXPECT_TRUE(Enabled(page, 1063)); });
    });
    EXPECT_EQ(host.settings()->timecodemode, kTimecodeTape);
}

// An edit confirmed with OK shows in the next frame that execute renders.
TEST_F(DateTimePageTest, TheNextFrameShowsWhatWasConfirmed) {
    NewInstance();
    OnPage(0, [&](DialogScript& script, HWND&, HWND& page) {
        script.Then([&] {
            SetText(page, 1062, "Rome\\n");
            SetText(page, 1071, "2"); // two hours later
            PickItem(page, 1014, 0);  // no date
        });
    });
    const std::vector<uint32_t> got = RenderedFrame(0);
    EXPECT_EQ(DifferingPixels(got, ExpectedRenderedFrame("Rome\n16:23:05")), 0u);
    EXPECT_GT(DifferingPixels(got, ExpectedRenderedFrame("Rome\n14:23:05")), 20u);
}

} // namespace
} // namespace camtag::test
