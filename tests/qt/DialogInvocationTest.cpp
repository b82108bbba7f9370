// KIVPrStyle and KIVPrJob: the real dialogs on the print record, and what they remember.
#include <kiv/KIVPrinterDriver.h>

#include "driver/DriverRecord.hpp"
#include "driver/PrintRecord.hpp"
#include "platform/Plist.hpp"
#include "platform/Preferences.hpp"
#include "qt/QtUser.hpp"

using namespace kiv;
using namespace kivtest;

namespace {

class DialogInvocation : public QtFixture {
protected:
    void SetUp() override {
        QtFixture::SetUp();
        handle_ = NewHandle(0);
        Open();
    }
    void TearDown() override {
        if (record_) KIVPrClose(record_);
        DisposeHandle(handle_);
        QtFixture::TearDown();
    }
    void Open() {
        ASSERT_EQ(KIVPrOpen(bundle_, &record_), 0);
        KIVPrDefaults(record_, handle_);
    }
    PrintRecord Record() const { return *LoadPrintRecord(handle_); }

    DriverRecord *record_ = nullptr;
    Handle handle_ = nullptr;
};

}  // namespace

TEST_F(DialogInvocation, AnAcceptedPageSetupIsSavedAsTheNextDefault) {
    std::string longName = "ab";  // cut inside a character at 255 bytes
    for (int i = 0; i < 100; ++i) longName += "\xE2\x82\xAC";
    {
        User user("StyleDialog",
                  {Retype("pageWidth", "210"), Retype("pageHeight", "297"), Press("isBW"), Choose("pagesMenu", -3),
                   Type("paperName", QString::fromStdString(longName)), Press("paperNameOK"), Press("ok")});
        ASSERT_TRUE(KIVPrStyle(record_, handle_));
    }
    EXPECT_EQ(record_->mState, kStateRunning);  // still running: the job goes on
    const PrintRecord r = Record();
    EXPECT_EQ(r.pageWidthPixels, 2481);
    EXPECT_TRUE(r.isBW);
    EXPECT_EQ(r.pageName[0], 254);
    EXPECT_EQ(*PageNameString(r), longName.substr(0, 254));
    EXPECT_EQ(HGetState(handle_), 0);  // the lock state is restored
    Plist saved = CopyPreferenceValue(Domain(), "DefaultPageSetup");
    EXPECT_EQ(*IntegerValue(DictGet(saved.get(), "Width")), 2481);
}

TEST_F(DialogInvocation, ACancelledDialogStopsTheJobAndChangesNothing) {
    const std::vector<char> before(*handle_, *handle_ + 306);
    {
        User user("StyleDialog", {Retype("pageWidth", "100"), Press("cancel")});
        EXPECT_FALSE(KIVPrStyle(record_, handle_));
    }
    EXPECT_EQ(std::vector<char>(*handle_, *handle_ + 306), before);
    EXPECT_EQ(record_->mState, kStateCancelled);
    EXPECT_EQ(record_->mError, 0);
    EXPECT_EQ(KIVPrOpenDoc(record_, handle_), 0);
    EXPECT_FALSE(record_->mPageOutputSession);
    EXPECT_EQ(KIVPrCloseDoc(record_), 0);
    EXPECT_FALSE(KIVPrJob(record_, handle_));  // gated
    EXPECT_FALSE(CopyPreferenceValue(Domain(), "DefaultPageSetup"));
}

TEST_F(DialogInvocation, TheJobDialogRemembersTheHotFolder) {
    TempDir hot;
    {
        User user("JobDialog", {Retype("numberOfCopiesText", "3"), Press("saveAsButton"), SaveAs(hot / "Named.vad3")});
        ASSERT_TRUE(KIVPrJob(record_, handle_));
    }
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
    {
        User user("JobDialog", {Press("saveButton")});
        ASSERT_TRUE(KIVPrJob(record_, handle_));
    }
    EXPECT_EQ(*record_->mHotFolder, hot.path());
    EXPECT_FALSE(record_->mOutputFileName);

    // A folder stored as a plain path by an older version is still found.
    TempDir older;
    KIVPrClose(record_);
    record_ = nullptr;
    SetPreferenceValue(Domain(), "HotFolderBookmark", nullptr);
    SetPreferenceValue(Domain(), "HotFolder", MakeString(older.path().string()).get());
    ASSERT_TRUE(SynchronizePreferences(Domain()));
    Open();
    {
        User user("JobDialog", {Press("saveButton")});
        ASSERT_TRUE(KIVPrJob(record_, handle_));
    }
    EXPECT_EQ(*record_->mHotFolder, older.path());
}

TEST_F(DialogInvocation, ARecordTooSmallShowsNoDialog) {
    SetHandleSize(handle_, 100);
    bool shown = false;
    QTimer guard;  // a window shown by mistake is noted and closed, not waited on
    QObject::connect(&guard, &QTimer::timeout, [&] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *d = qobject_cast<QDialog *>(w); d && d->isVisible()) shown = true, d->reject();
    });
    guard.start(0);
    EXPECT_FALSE(KIVPrStyle(record_, handle_));
    EXPECT_FALSE(KIVPrJob(record_, handle_));
    EXPECT_FALSE(shown);
}
