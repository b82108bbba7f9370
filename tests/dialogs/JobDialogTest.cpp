// The print job dialog under a scripted user.
#include <gtest/gtest.h>

#include "dialogs/JobDialog.hpp"
#include "support/DialogFixture.hpp"

using namespace kiv;
using namespace kiv::forms;
namespace fs = std::filesystem;

namespace {

class JobDialogTest : public kivtest::DialogFixture {
protected:
    struct Job {
        std::optional<fs::path> hotFolder;
        std::optional<std::string> jobName;
        uint16_t copies = 1;
        uint8_t collate = 1;
        int16_t from = 1, to = 999;
    };
    bool Run(Job &job, bool withCopies = true) {
        return JobDialog(bundle_, kivtest::kDialogDomain, "Job Title", job.hotFolder, "Report", "vad3", job.jobName,
                         withCopies ? &job.copies : nullptr, withCopies ? &job.collate : nullptr, job.from, job.to);
    }
    const FormRecord &Form() const { return toolkit_->last(); }
    kivtest::TempDir folder_;
};

}  // namespace

TEST_F(JobDialogTest, AllPagesAndRanges) {
    Job job;
    job.hotFolder = folder_.path();
    Script({Press("saveButton")});
    ASSERT_TRUE(Run(job));
    EXPECT_EQ(Form().radios.at("pageModeMatrix"), 1);
    EXPECT_EQ(Form().texts.at("fromPageText"), "");
    EXPECT_EQ(job.from, 1);
    EXPECT_EQ(job.to, 999);
    EXPECT_EQ(Form().title, "Job Title");

    job.from = 3, job.to = 7;
    Script({Pick("pageModeMatrix", 1), Pick("pageModeMatrix", 2), Press("cancelButton")});
    EXPECT_FALSE(Run(job));
    EXPECT_EQ(Form().texts.at("fromPageText"), "1");  // emptied by all pages, refilled with 1
    EXPECT_EQ(job.from, 3);

    // Typing a page number switches to a range.
    job.from = 1, job.to = 999;
    Script({Type("toPageText", "5"), Press("saveButton")});
    ASSERT_TRUE(Run(job));
    EXPECT_EQ(job.from, 1);
    EXPECT_EQ(job.to, 5);  // the empty from field was given 1
}

TEST_F(JobDialogTest, LimitsBeepAndSelectTheField) {
    Job job;
    job.hotFolder = folder_.path();
    job.from = 2, job.to = 3;
    Script({Retype("fromPageText", "0"), Press("saveButton"), Retype("fromPageText", "1000"), Press("saveButton"),
            Retype("fromPageText", "999"), Press("saveButton"), Retype("toPageText", "1000"), Press("saveButton"),
            Retype("toPageText", "999"), Retype("numberOfCopiesText", "1000"), Press("saveButton"),
            Retype("numberOfCopiesText", "0"), Press("saveAsButton"), Retype("numberOfCopiesText", "999"),
            Press("saveButton")});
    ASSERT_TRUE(Run(job));
    EXPECT_EQ(toolkit_->beeps(), 6);
    EXPECT_EQ(job.from, 999);  // the limits themselves are taken
    EXPECT_EQ(job.to, 999);
    EXPECT_EQ(job.copies, 999);
    EXPECT_TRUE(Form().savePanels.empty());  // 0 copies never reached the save panel
}

TEST_F(JobDialogTest, NoHotFolderOrOneInTheTrash) {
    Job none;
    Script({Press("saveButton"), Press("cancelButton")});
    EXPECT_FALSE(Run(none));
    EXPECT_FALSE(Form().enabled.at("saveButton"));
    EXPECT_TRUE(Form().alerts.empty());  // a disabled button does nothing

    kivtest::ScopedEnv data("XDG_DATA_HOME", folder_.path().c_str());
    const fs::path trashed = folder_ / "Trash/files/hot";
    fs::create_directories(trashed);
    Job trash;
    trash.hotFolder = trashed;
    Script({Press("saveButton"), Answer(kFirstButton), Press("cancelButton")});
    EXPECT_FALSE(Run(trash));
    ASSERT_EQ(Form().alerts.size(), 1u);
    EXPECT_EQ(Form().alerts[0].message, "Cannot print because the Hot Folder is in the Trash");
}

TEST_F(JobDialogTest, SaveAsChoosesTheFolderAndTheFileName) {
    Job job;
    job.copies = 2;
    const fs::path chosen = folder_ / "new folder";
    Script({Press("saveAsButton"), SaveAs(chosen / "Quarterly.vad3")});
    ASSERT_TRUE(Run(job));
    ASSERT_EQ(Form().savePanels.size(), 1u);
    EXPECT_EQ(Form().savePanels[0].allowedExtension, "vad3");
    EXPECT_EQ(*Form().savePanels[0].proposedName, "Report");
    EXPECT_FALSE(Form().savePanels[0].startFolder);
    EXPECT_EQ(*job.hotFolder, chosen);
    EXPECT_EQ(*job.jobName, "Quarterly.vad3");
    EXPECT_EQ(job.copies, 2);

    Job typed;  // another extension typed: the job file's is appended
    Script({Press("saveAsButton"), SaveAs(chosen / "job.txt")});
    ASSERT_TRUE(Run(typed));
    EXPECT_EQ(*typed.jobName, "job.txt.vad3");

    Job cancelled;
    cancelled.hotFolder = folder_.path();
    Script({Press("saveAsButton"), SaveAs(std::nullopt), Toggle("collateCheckbox"), Press("cancelButton")});
    EXPECT_FALSE(Run(cancelled));
    EXPECT_EQ(*Form().savePanels[0].startFolder, folder_.path());
    EXPECT_EQ(*cancelled.hotFolder, folder_.path());
    EXPECT_FALSE(cancelled.jobName);
    EXPECT_EQ(cancelled.collate, 1);
}

TEST_F(JobDialogTest, TheWindowWithoutCopies) {
    Job job;
    job.hotFolder = folder_.path();
    job.copies = 7;
    Script({Press("saveButton")});
    ASSERT_TRUE(Run(job, false));
    EXPECT_EQ(Form().resource, "JobDialog_NC");
    EXPECT_EQ(job.copies, 7);
    Script({Type("numberOfCopiesText", "3")});  // no such control: the toolkit fails, a cancel
    EXPECT_FALSE(Run(job, false));
}

TEST_F(JobDialogTest, SavingWithoutAFolderExplainsWhy) {
    Script({});
    VarnelPrinterDriverJobDialogController controller(bundle_, "JobDialog");
    controller.handleSaveCommand();
    ASSERT_EQ(Form().alerts.size(), 1u);
    EXPECT_EQ(Form().alerts[0].message, "Cannot print because the Hot Folder cannot be found");
    EXPECT_FALSE(controller.hotFolderIsInTrash());
}
