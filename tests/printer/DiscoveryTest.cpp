// What another machine finds and may do: printers found over DNS-SD as they come and go, with
// records that agree with the printer; printing without a login, while administration and
// cancelling others' jobs need one. Run by two-machines.sh, which gives each machine its own
// Avahi.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>
#include <sstream>

#include "printer/PrinterServer.hpp"

using namespace kivtest;

namespace {

// What another machine finds of the IPP service `name`: its host, port and TXT keys (as
// ippfind names them, in lower case), one line per service.
struct Service {
    std::string host;
    int port = 0;
    std::map<std::string, std::string> txt;
};
const char *const kKeys[] = {"rp", "tls", "papermax", "pdl", "urf", "color", "ty", "adminurl"};

std::vector<Service> Browse(const std::string &via, const std::string &name) {
    std::string format = "{service_hostname}\t{service_port}";
    for (const char *key : kKeys) format += std::string("\t{txt_") + key + "}";
    std::istringstream lines(RunCommand(via + "ippfind -T 3 --name " + Quote("^" + name + "$") + " _ipp._tcp -x echo " +
                                        Quote(format) + " \\;")
                                 .text);
    std::vector<Service> found;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        Service s;
        std::string port;
        std::getline(fields, s.host, '\t');
        if (s.host.ends_with('.')) s.host.pop_back();
        std::getline(fields, port, '\t');
        s.port = std::atoi(port.c_str());
        for (const char *key : kKeys) std::getline(fields, s.txt[key], '\t');
        found.push_back(s);
    }
    return found;
}

std::set<std::string> Items(const std::string &list) {
    std::set<std::string> items;
    std::istringstream in(list);
    for (std::string item; std::getline(in, item, ',');) items.insert(item);
    return items;
}

// A job of alice's, held at the printer: mallory may not cancel it, alice may (asked from the
// machine the command prefix `via` runs ipptool on).
void ExpectOnlyTheOwnerCancels(const fs::path &dir, const std::string &printerURI, const std::string &via) {
    WriteImage(dir / "held.png", 40, 30, 1, 2, 3);
    const CommandOutput held = RunCommand(via + "ipptool -T 30 -tv -f " + Quote((dir / "held.png").string()) + " " +
                                          printerURI + " " + Quote(TestFile("hold-job.test")));
    const std::size_t at = held.text.find("job-id (integer) = ");
    ASSERT_NE(at, std::string::npos) << held.text;
    const auto cancel = [&](const std::string &asker) {
        return RunCommand(via + "ipptool -T 30 -t -d asker=" + asker +
                          " -d job_id=" + std::to_string(std::atoi(held.text.c_str() + at + 19)) + " " + printerURI +
                          " " + Quote(TestFile("cancel-job.test")));
    };
    EXPECT_NE(cancel("mallory").status, 0);
    const CommandOutput owner = cancel("alice");
    EXPECT_EQ(owner.status, 0) << owner.text;
}

}  // namespace

TEST(PrinterDiscovery, FoundAsTheyComeAndGoAndPrintedToButNotAdministered) {
    const char *browser = std::getenv("KIV_TEST_BROWSER");
    const char *hosts = std::getenv("KIV_TEST_BROWSER_HOSTS");
    if (!browser || !hosts) GTEST_SKIP() << "needs two machines with Avahi (two-machines.sh)";
    const std::string via = std::string(browser) + " ";
    // A server for this machine alone (nobody else could reach it), and one for the network.
    TempDir dir, own;
    PrinterServer loopback(own.path());
    ASSERT_TRUE(loopback.Start());
    ASSERT_TRUE(loopback.AddPrinter("Loopback", own / "hot"));
    PrinterServer server(dir.path(), {"listen-hostname=*", "auth-service=login", "server-options=none"});
    ASSERT_TRUE(server.Start());
    fs::create_directories(dir / "hot");
    const std::string name = "Hot Folder";
    ASSERT_EQ(
        server
            .LocalApp("add", "-d " + Quote(name) + " -m hotfolder -v " + Quote("hotfolder://" + (dir / "hot").string()))
            .status,
        0);

    // Found while the server runs, within seconds.
    std::vector<Service> found;
    ASSERT_TRUE(Within(10, [&] { return !(found = Browse(via, name)).empty(); }))
        << "not advertised; the server's log:\n"
        << ReadFile(dir / "log");
    Service s = found.front();
    EXPECT_EQ(s.port, server.port());
    EXPECT_EQ(s.txt.at("rp"), "ipp/print/Hot_Folder");
    EXPECT_EQ(s.txt.at("tls"), "1.2");
    EXPECT_EQ(s.txt.at("papermax"), ">isoC-A2") << "custom sizes go up to 5 m wide";

    // The machine names the printer's host as nss-mdns would, then asks it and prints to the
    // URI ippfind lists.
    const std::string resolved = RunCommand(via + "avahi-resolve -4 -n " + s.host).text;
    const std::string address = resolved.substr(resolved.find('\t') + 1);
    WriteFile(hosts, "127.0.0.1 localhost\n" + address.substr(0, address.find('\n')) + " " + s.host + "\n");
    const std::string uri = RunCommand(via + "ippfind -T 5 _ipp._tcp").text;
    const std::string expected = "ipp://" + s.host + ":" + std::to_string(server.port()) + "/ipp/print/Hot_Folder\n";
    ASSERT_EQ(uri, expected);
    IppPtr attributes = server.Attributes("Hot_Folder");
    std::set<std::string> formats = Items(Value(attributes.get(), "document-format-supported"));
    formats.erase("application/octet-stream");
    EXPECT_EQ(Items(s.txt.at("pdl")), formats);
    EXPECT_EQ(s.txt.at("urf"), Value(attributes.get(), "urf-supported"));
    EXPECT_EQ(s.txt.at("color"), Value(attributes.get(), "color-supported") == "true" ? "T" : "F");
    EXPECT_EQ(s.txt.at("ty"), Value(attributes.get(), "printer-make-and-model"));
    const std::string info = Value(attributes.get(), "printer-more-info");  // asked as localhost
    EXPECT_EQ(s.txt.at("adminurl"), "http://" + s.host + info.substr(info.find(':', 5)));
    const fs::path page = dir / "page.pwg";
    WritePwg(page, "srgb_8", 300, 200, 300, 1, [](int x, int y, int, uint8_t *p) { p[0] = x, p[1] = y, p[2] = 9; });
    const CommandOutput print = RunCommand(via + "ipptool -T 30 -t -f " + Quote(page.string()) + " " +
                                           uri.substr(0, uri.size() - 1) + " " + Quote(TestFile("print-job.test")));
    EXPECT_EQ(print.status, 0) << print.text;
    EXPECT_TRUE(Within(30, [&] { return kiv::VerifyVAD3(dir / "hot" / "found.vad3").empty(); }));

    // Administration from there: plain HTTP is sent to HTTPS, which asks for a login; so does
    // IPP. Another user's job may not be cancelled.
    const std::string host = s.host + ":" + std::to_string(server.port());
    for (const char *page : {"/addprinter", "/security", "/Hot_Folder/delete", "/Hot_Folder/hotfolder"}) {
        const std::string code = via + "curl -s -o /dev/null -w '%{http_code}' ";
        EXPECT_EQ(RunCommand(code + "http://" + host + page).text, "301") << page;
        EXPECT_EQ(RunCommand(code + "-k https://" + host + page).text, "401") << page;
    }
    EXPECT_EQ(
        RunCommand(via + "curl -s -o /dev/null -w '%{http_code}' -k -u nobody:wrong https://" + host + "/addprinter")
            .text,
        "401");
    const CommandOutput add = RunCommand(via + VAD3_PRINTER_TOOL + " add -u ipps://" + host +
                                         " -d Other -m hotfolder -v " + Quote("hotfolder://" + dir.path().string()));
    EXPECT_THAT(add.text, HasSubstr("Unauthorized"));
    ExpectOnlyTheOwnerCancels(dir.path(), "ipps://" + host + "/ipp/print/Hot_Folder", via);

    EXPECT_TRUE(Browse(via, "Loopback").empty());

    // A deleted printer is gone.
    ASSERT_EQ(server.LocalApp("delete", "-d " + Quote(name)).status, 0);
    EXPECT_TRUE(Within(10, [&] { return Browse(via, name).empty(); }));
}
