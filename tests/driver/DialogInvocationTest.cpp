// KIVPrStyle and KIVPrJob: the dialogs on the print record and what they remember.
#include <gtest/gtest.h>

#include "support/ScriptedToolkit.hpp"
#include "platform/Bookmark.hpp"
#include "support/DialogFixture.hpp"
#include "support/DriverFixture.hpp"

using namespace kiv;
using namespace kiv::forms;

namespace {

class DialogInvocation : public kivtest::DriverFixture {
protected:
    void TearDown() override {
        SetCurrentToolkit(nullptr);
        DriverFixture::TearDown();
    }
    ScriptedToolkit &Script(std::vector<UserAction> actions) {
        toolkit_ = std::make_shared<ScriptedToolkit>(std::move(actions));
        SetCurrentToolkit(toolkit_);
        return *toolkit_;
    }
    kivtest::ScopedEnv locale_{"LC_ALL", "C.UTF-8"};
    std::shared_ptr<ScriptedToolkit> toolkit_;
};

}  // namespace

TEST_F(DialogInvocation, AnAcceptedPageSetupIsSavedAsTheNextDefault) {
    Open();
    KIVPrDefaults(record_, handle_);
    Script({Retype("pageWidth", "210"), Retype("pageHeight", "297"), Toggle("isBW"), Press("ok")});
    ASSERT_TRUE(KIVPrStyle(record_, handle_));
    EXPECT_EQ(record_->mState, kStateRunning);  // still running: the job goes on
    const PrintRecord r = Record();
    EXPECT_EQ(r.pageWidthPixels, 2481);
    EXPECT_TRUE(r.isBW);
    EXPECT_EQ(*PageNameString(r), "Custom");
    EXPECT_EQ(HGetState(handle_), 0);  // the lock state is restored
    Plist saved = CopyPreferenceValue(kivtest::kTestDomain, "DefaultPageSetup");
    EXPECT_EQ(*IntegerValue(DictGet(saved.get(), "Width")), 2481);
}

TEST_F(DialogInvocation, ACancelledDialogStopsTheJobAndChangesNothing) {
    Open();
    KIVPrDefaults(record_, handle_);
    const std::vector<char> before(*handle_, *handle_ + 306);
    Script({Retype("pageWidth", "100"), Press("cancel")});
    EXPECT_FALSE(KIVPrStyle(record_, handle_));
    EXPECT_EQ(std::vector<char>(*handle_, *handle_ + 306), before);
    EXPECT_EQ(record_->mState, kStateCancelled);
    EXPECT_EQ(record_->mError, 0);
    EXPECT_EQ(KIVPrOpenDoc(record_, handle_), 0);
    EXPECT_FALSE(record_->mPageOutputSession);
    EXPECT_EQ(KIVPrCloseDoc(record_), 0);
    EXPECT_FALSE(KIVPrJob(record_, handle_));  // gated
    EXPECT_FALSE(CopyPreferenceValue(kivtest::kTestDomain, "DefaultPageSetup"));
}

TEST_F(DialogInvocation, TheJobDialogRemembersTheHotFolder) {
    kivtest::TempDir hot;
    Open();
    KIVPrDefaults(record_, handle_);
    Script({Retype("numberOfCopiesText", "3"), Press("saveAsButton"), SaveAs(hot / "Named.vad3")});
    ASSERT_TRUE(KIVPrJob(record_, handle_));
    EXPECT_EQ(record_->mState, kStateRunning);
    EXPECT_EQ(Record().copies, 3);
    EXPECT_TRUE(Record().collated);
    EXPECT_EQ(*record_->mHotFolder, hot.path());
    EXPECT_EQ(*record_->mOutputFileName, "Named.vad3");
    KIVPrClose(record_);  // writes what the dialog left pending
    record_ = nullptr;
    ResetPreferencesCache();  // as a new process would start

    // A new session presets the folder: save works at once.
    Open();
    KIVPrDefaults(record_, handle_);
    Script({Press("saveButton")});
    ASSERT_TRUE(KIVPrJob(record_, handle_));
    EXPECT_TRUE(toolkit_->last().enabled.at("saveButton"));
    EXPECT_EQ(*record_->mHotFolder, hot.path());
    EXPECT_FALSE(record_->mOutputFileName);
}

TEST_F(DialogInvocation, AnOlderHotFolderPathIsStillFound) {
    kivtest::TempDir hot;
    Store("HotFolder", MakeString(hot.path().string()));
    Open();
    KIVPrDefaults(record_, handle_);
    Script({Press("saveButton")});
    ASSERT_TRUE(KIVPrJob(record_, handle_));
    EXPECT_EQ(*record_->mHotFolder, hot.path());
}

TEST_F(DialogInvocation, ALongPaperNameIsCutAtACharacterBoundary) {
    std::string longName;
    for (int i = 0; i < 100; ++i) longName += "\xE2\x82\xAC";  // 300 bytes of euro signs
    Open();
    KIVPrDefaults(record_, handle_);
    Script({Choose("pagesMenu", -3), Type("paperName", longName), Press("paperNameOK"), Press("ok")});
    ASSERT_TRUE(KIVPrStyle(record_, handle_));
    EXPECT_EQ(Record().pageName[0], 255);
    EXPECT_EQ(*PageNameString(Record()), longName.substr(0, 255));
}

TEST_F(DialogInvocation, ARecordTooSmallShowsNoDialog) {
    Open();
    SetHandleSize(handle_, 100);
    const ScriptedToolkit &toolkit = Script({Press("ok")});
    EXPECT_FALSE(KIVPrStyle(record_, handle_));
    EXPECT_FALSE(KIVPrJob(record_, handle_));
    EXPECT_EQ(toolkit.last().resource, "");  // no window was loaded
}
