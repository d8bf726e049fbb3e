#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "cli/ExitCodes.h"
#include "cli/tests/CliTestSupport.h"
#include "firmware/UpdateProtocol.h"
#include "tests/HexFiles.h"

namespace quillon::cli::test {
namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class CliFlashTest : public ::testing::Test {
  protected:
    void SetUp() override {
        image = quillon::testing::PatternImage();
        file = folder.Write("update.hex", quillon::testing::HexFileFor(image));
    }

    void ExpectFlashed(const emu::QuillonAdapter& adapter) const {
        const std::vector<uint8_t> flash = adapter.Flash();
        EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin() + firmware::kImageBase));
        EXPECT_EQ(adapter.TransferCount(), static_cast<size_t>(firmware::kTransfersPerUpdate));
    }

    CliHarness cli;
    quillon::testing::TempDir folder;
    firmware::FirmwareImage image{};
    std::string file;
};

TEST_F(CliFlashTest, UpdatesTheAdapterWithAProgressLinePerBlock) {
    auto adapter = cli.AddAdapter();
    const CliResult result = cli.Run({"flash", file, "--emulate"});
    EXPECT_EQ(result.Code, ExitSuccess) << result.Err;
    EXPECT_EQ(result.Out, "adapter 0 (emu:1): ready\n");
    EXPECT_TRUE(Contains(result.Err, "adapter 0 (emu:1): block 1 of 20\n"));
    EXPECT_TRUE(Contains(result.Err, "adapter 0 (emu:1): block 20 of 20\n"));
    ExpectFlashed(*adapter);
}

TEST_F(CliFlashTest, DrawsABarOnATerminal) {
    cli.AddAdapter();
    cli.Env.ErrIsTerminal = true;
    const CliResult result = cli.Run({"flash", file, "--emulate"});
    EXPECT_EQ(result.Code, ExitSuccess);
    EXPECT_TRUE(Contains(result.Err, "\r[----------------------------------------] 0%"));
    EXPECT_TRUE(
        Contains(result.Err, "\r[########################################] 100%  1 of 1 done\n"));
    EXPECT_FALSE(Contains(result.Err, "block 1 of 20"));
}

TEST_F(CliFlashTest, AllUpdatesEveryAdapterAndReportsEachOutcome) {
    std::vector<std::shared_ptr<emu::QuillonAdapter>> adapters;
    for (int i = 0; i < 4; ++i) {
        adapters.push_back(cli.AddAdapter());
    }
    adapters[2]->AnswerWrongChecksum(17);
    const CliResult result = cli.Run({"flash", file, "--all", "--emulate=4", "--json"});
    EXPECT_EQ(result.Code, ExitTransferFailed) << result.Err;
    const QJsonObject outcome =
        QJsonDocument::fromJson(QByteArray::fromStdString(result.Out)).object();
    EXPECT_EQ(outcome["file"].toString().toStdString(), file);
    const QJsonArray each = outcome["adapters"].toArray();
    ASSERT_EQ(each.size(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(each[i]["index"].toInt(), i);
        EXPECT_EQ(each[i]["path"].toString(), QString("emu:%1").arg(i + 1));
        EXPECT_EQ(each[i]["ok"].toBool(), i != 2);
        EXPECT_EQ(each[i]["exitCode"].toInt(), i == 2 ? ExitTransferFailed : ExitSuccess);
    }
    EXPECT_TRUE(each[2]["message"].toString().startsWith("the adapter's checksum of block "))
        << each[2]["message"].toString().toStdString();
    ExpectFlashed(*adapters[0]);
    ExpectFlashed(*adapters[3]);
}

TEST_F(CliFlashTest, AllLeavesOutAdaptersWithoutAccessAndSaysWhy) {
    auto writable = cli.AddAdapter();
    auto refused = cli.AddAdapter(emu::PlugOptions{.ReadWriteAllowed = false});
    const CliResult result = cli.Run({"flash", file, "--all", "--emulate=2"});
    EXPECT_EQ(result.Code, ExitNoPermission);
    EXPECT_EQ(result.Out,
              "adapter 0 (emu:1): ready\n"
              "adapter 1 (emu:2): no read/write access\n");
    // The advice on access, in the platform's own terms.
    EXPECT_TRUE(Contains(result.Err, "Read/write access to emu:2 was refused"));
    ExpectFlashed(*writable);
    EXPECT_EQ(refused->TransferCount(), 0u);
}

TEST_F(CliFlashTest, FileIsCheckedInFullBeforeAnyAdapterIsTouched) {
    auto adapter = cli.AddAdapter();
    // A sound start and a bad record far down the file.
    std::string text = quillon::testing::HexFileFor(image);
    text.insert(text.size() - 13, ":10140000ZZ\r\n");
    const std::string bad = folder.Write("bad.hex", text);
    CliResult result = cli.Run({"flash", bad, "--emulate"});
    EXPECT_EQ(result.Code, ExitFileRefused);
    EXPECT_TRUE(Contains(result.Err, "ERROR: invalid update file, line ")) << result.Err;

    result = cli.Run({"flash", folder.PathOf("missing.hex"), "--all", "--emulate"});
    EXPECT_EQ(result.Code, ExitFileRefused);
    EXPECT_TRUE(Contains(result.Err, "ERROR: File not found!")) << result.Err;
    EXPECT_EQ(adapter->TransferCount(), 0u);

    EXPECT_EQ(cli.Run({"flash", file, "--all", "--device=0", "--emulate"}).Code, ExitUsage);
    EXPECT_EQ(cli.Run({"flash", "--emulate"}).Code, ExitUsage);
}

TEST_F(CliFlashTest, FilesUsersTriedAreTakenOrRefusedBeforeAnyTransfer) {
    auto adapter = cli.AddAdapter();
    for (const quillon::testing::UpdateFileCase& c : quillon::testing::UpdateFileCases()) {
        adapter->ClearLog();
        const std::string path = folder.Write("case.hex", c.Content);
        const CliResult result = cli.Run({"flash", path, "--emulate"});
        if (c.Refusal.empty()) {
            EXPECT_EQ(result.Code, ExitSuccess) << c.Name << ": " << result.Err;
            ExpectFlashed(*adapter);
        } else {
            EXPECT_EQ(result.Code, ExitFileRefused) << c.Name;
            EXPECT_TRUE(Contains(result.Err, c.Refusal + " (" + path + ")")) << result.Err;
            EXPECT_EQ(adapter->TransferCount(), 0u) << c.Name;
        }
    }
}

TEST_F(CliFlashTest, FailingAdapterGivesTheTransferExitCodeAndItsMessage) {
    auto adapter = cli.AddAdapter();
    adapter->FailTransfer(0);  // the start command
    const CliResult result = cli.Run({"flash", file, "--emulate"});
    EXPECT_EQ(result.Code, ExitTransferFailed);
    EXPECT_EQ(result.Out, "adapter 0 (emu:1): a report could not be sent to the adapter\n");
}

TEST_F(CliFlashTest, FinishCommandThatDoesNotReachTheAdapterIsATransferFailure) {
    const size_t finish = firmware::kTransfersPerUpdate - 2;
    auto failing = cli.AddAdapter();
    auto pulled = cli.AddAdapter();
    failing->FailTransfer(finish);
    pulled->UnplugAtTransfer(finish);
    const CliResult result = cli.Run({"flash", file, "--all", "--emulate=2"});
    EXPECT_EQ(result.Code, ExitTransferFailed);
    EXPECT_EQ(result.Out,
              "adapter 0 (emu:1): a report could not be sent to the adapter\n"
              "adapter 1 (emu:2): a report could not be sent to the adapter\n");
}

// Status 2 has the text of a missing file, but it is the adapter that refused.
TEST_F(CliFlashTest, AdapterRefusingABlockIsATransferFailure) {
    auto adapter = cli.AddAdapter();
    adapter->AnswerStatus(0x01, 2, 12);
    CliResult result = cli.Run({"flash", file, "--emulate"});
    EXPECT_EQ(result.Code, ExitTransferFailed);
    EXPECT_EQ(result.Out, "adapter 0 (emu:1): the adapter refused block 3 of 20 (status 2)\n");

    auto second = cli.AddAdapter();
    result = cli.Run({"flash", file, "--all", "--emulate=2", "--json"});
    EXPECT_EQ(result.Code, ExitTransferFailed);
    const QJsonArray each = QJsonDocument::fromJson(QByteArray::fromStdString(result.Out))
                                .object()["adapters"]
                                .toArray();
    ASSERT_EQ(each.size(), 2);
    EXPECT_EQ(each[0]["exitCode"].toInt(), ExitTransferFailed);
    EXPECT_FALSE(each[0]["ok"].toBool());
    EXPECT_TRUE(each[1]["ok"].toBool());
    ExpectFlashed(*second);
}

}  // namespace
}  // namespace quillon::cli::test
