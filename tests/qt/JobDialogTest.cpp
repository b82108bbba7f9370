// The print job dialog in its real windows, with and without copies.
#include "dialogs/JobDialog.hpp"
#include "qt/QtUser.hpp"

using namespace kiv;
using namespace kivtest;
namespace fs = std::filesystem;

namespace {

class JobDialogTest : public QtFixture {
protected:
    struct Job {
        std::optional<fs::path> hotFolder;
        std::optional<std::string> jobName;
        uint16_t copies = 1;
        uint8_t collate = 1;
        int16_t from = 1, to = 999;
    };
    bool Run(Job &job, std::vector<Step> steps, bool withCopies = true) {
        User user(withCopies ? "JobDialog" : "JobDialog_NC", std::move(steps));
        return JobDialog(bundle_, Domain(), "Job Title", job.hotFolder, "Report", "vad3", job.jobName,
                         withCopies ? &job.copies : nullptr, withCopies ? &job.collate : nullptr, job.from, job.to);
    }
    TempDir folder_;
};

}  // namespace

TEST_F(JobDialogTest, AllPagesAndRanges) {
    Job job;
    job.hotFolder = folder_.path();
    ASSERT_TRUE(Run(job, {Check([](QWidget *w) {
                              EXPECT_EQ(w->windowTitle(), "Job Title");
                              EXPECT_TRUE(Child<QRadioButton>(w, "pageModeMatrix_1")->isChecked());
                              EXPECT_EQ(Text(w, "fromPageText"), "");
                              w->grab().save("JobDialog.png");
                          }),
                          Press("saveButton")}));
    EXPECT_EQ(job.from, 1);
    EXPECT_EQ(job.to, 999);

    job.from = 3, job.to = 7;
    EXPECT_FALSE(Run(job, {Pick("pageModeMatrix", 1), Pick("pageModeMatrix", 2), Check([](QWidget *w) {
                               EXPECT_EQ(Text(w, "fromPageText"), "1");  // emptied by all pages, refilled with 1
                           }),
                           Press("cancelButton")}));
    EXPECT_EQ(job.from, 3);

    job.from = 1, job.to = 999;  // typing a page number switches to a range
    ASSERT_TRUE(Run(job, {Type("toPageText", "5"), Press("saveButton")}));
    EXPECT_EQ(job.from, 1);  // the empty from field was given 1
    EXPECT_EQ(job.to, 5);
}

TEST_F(JobDialogTest, LimitsBeepAndKeepTheWindowUp) {
    Job job;
    job.hotFolder = folder_.path();
    job.from = 2, job.to = 3;
    ASSERT_TRUE(
        Run(job, {Retype("fromPageText", "0"), Press("saveButton"), Retype("fromPageText", "1000"), Press("saveButton"),
                  Retype("fromPageText", "999"), Press("saveButton"), Retype("toPageText", "1000"), Press("saveButton"),
                  Retype("toPageText", "999"), Retype("numberOfCopiesText", "1000"), Press("saveButton"),
                  Retype("numberOfCopiesText", "0"), Press("saveAsButton"), Check([](QWidget *w) {
                      EXPECT_TRUE(w->isVisible());
                      EXPECT_TRUE(w->findChildren<QFileDialog *>().isEmpty());  // 0 copies: no panel
                  }),
                  Retype("numberOfCopiesText", "999"), Press("saveButton")}));
    EXPECT_EQ(gHostBeeps, 6);
    EXPECT_EQ(job.from, 999);  // the limits themselves are taken
    EXPECT_EQ(job.to, 999);
    EXPECT_EQ(job.copies, 999);
}

TEST_F(JobDialogTest, NoHotFolderOrOneInTheTrash) {
    Job none;
    EXPECT_FALSE(Run(none, {Press("saveButton"), Check([](QWidget *w) {
                                EXPECT_FALSE(Child<QPushButton>(w, "saveButton")->isEnabled());
                                EXPECT_TRUE(w->findChildren<QMessageBox *>().isEmpty());  // a disabled button
                            })}));

    ScopedEnv data("XDG_DATA_HOME", folder_.path().c_str());
    const fs::path trashed = folder_ / "Trash/files/hot";
    fs::create_directories(trashed);
    Job trash;
    trash.hotFolder = trashed;
    QStringList alert;
    EXPECT_FALSE(Run(trash, {Press("saveButton"), Answer("OK", &alert)}));
    EXPECT_EQ(alert.value(0), "Cannot print because the Hot Folder is in the Trash");

    // Save reached without a folder (the button is off then, but a host may still send it).
    VarnelPrinterDriverJobDialogController controller(bundle_, "JobDialog");
    controller.handleSaveCommand();
    QMessageBox *box = nullptr;
    for (QWidget *w : QApplication::allWidgets())
        if (auto *b = qobject_cast<QMessageBox *>(w)) box = b;
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "Cannot print because the Hot Folder cannot be found");
}

TEST_F(JobDialogTest, SaveAsChoosesTheFolderAndTheFileName) {
    Job job;
    job.copies = 2;
    const fs::path chosen = folder_ / "new folder";
    fs::create_directory(chosen);
    ASSERT_TRUE(Run(job, {Press("saveAsButton"), SaveAs(chosen / "Quarterly.vad3", [](QFileDialog *panel) {
                              EXPECT_EQ(panel->defaultSuffix(), "vad3");
                              EXPECT_EQ(panel->selectedFiles().value(0).section('/', -1), "Report.vad3");
                          })}));
    EXPECT_EQ(*job.hotFolder, chosen);
    EXPECT_EQ(*job.jobName, "Quarterly.vad3");
    EXPECT_EQ(job.copies, 2);

    Job typed;  // another extension typed: the job file's is appended
    ASSERT_TRUE(Run(typed, {Press("saveAsButton"), SaveAs(chosen / "job.txt")}));
    EXPECT_EQ(*typed.jobName, "job.txt.vad3");

    Job cancelled;
    cancelled.hotFolder = folder_.path();
    const QString start = QString::fromStdString(folder_.path().string());
    EXPECT_FALSE(Run(cancelled, {Press("saveAsButton"),
                                 SaveAs(std::nullopt, [&](QFileDialog *p) { EXPECT_EQ(p->directory().path(), start); }),
                                 Press("collateCheckbox"), Press("cancelButton")}));
    EXPECT_EQ(*cancelled.hotFolder, folder_.path());
    EXPECT_FALSE(cancelled.jobName);
    EXPECT_EQ(cancelled.collate, 1);
}

TEST_F(JobDialogTest, TheWindowWithoutCopies) {
    Job job;
    job.hotFolder = folder_.path();
    job.copies = 7;
    ASSERT_TRUE(Run(job,
                    {Check([](QWidget *w) { EXPECT_EQ(w->findChild<QLineEdit *>("numberOfCopiesText"), nullptr); }),
                     Press("saveButton")},
                    false));
    EXPECT_EQ(job.copies, 7);
}
