#include "site_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "command_line.h"
#include "core/sites/site_file.h"
#include "core/submit/category.h"
#include "core/submit/pad_check.h"
#include "demo_sites.h"
#include "http_front.h"
#include "published_data.h"
#include "site_export.h"
#include "support/temp_folder.h"

namespace tesselwick::site {
namespace {

std::string FileBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

SiteConfig TestConfig() {
  SiteConfig config;
  config.port = 0;
  config.dataDir = SourceDataDir();
  config.manualFile = SourceManualFile();
  return config;
}

// A client that sends targets exactly as given: site request templates are
// already escaped the way the program sends them.
httplib::Client ClientFor(const SiteServer& server) {
  httplib::Client client("127.0.0.1", server.Port());
  client.set_url_encode(false);
  client.set_read_timeout(30, 0);
  return client;
}

// The program's verdict on an answer: "Error" or "404" anywhere in it, or an
// error status, is a failure.
bool Fails(const httplib::Result& result) {
  return result->status >= 400 || result->body.find("Error") != std::string::npos ||
         result->body.find("404") != std::string::npos;
}

TEST(SiteServer, AnswersTheUpdateRequestsTheManualAndUnknownPaths) {
  std::mutex logMutex;
  std::vector<std::string> log;
  SiteConfig config = TestConfig();
  config.log = [&](const std::string& line) {
    std::lock_guard<std::mutex> lock(logMutex);
    log.push_back(line);
  };
  SiteServer server(config);
  ASSERT_TRUE(server.Start()) << server.Error();
  ASSERT_GT(server.Port(), 0);
  httplib::Client client = ClientFor(server);

  // The version check answers whatever version the program reports.
  for (const char* target :
       {"/cgi-bin/versioncheck.pl?version=", "/cgi-bin/versioncheck.pl?version=2026.12",
        "/cgi-bin/versioncheck.pl?version=1999.01"}) {
    auto check = client.Get(target);
    ASSERT_TRUE(check) << target;
    EXPECT_EQ(check->status, 200);
    EXPECT_EQ(check->body, "VERSION=1.01\r\nSCRIPTVERSION=2026.12\r\n");
    EXPECT_EQ(check->get_header_value("Content-Type"), "text/plain");
  }

  // The download is pad.dat byte for byte, CR LF line ends included.
  auto download = client.Get("/cgi-bin/versionupdate.pl?version=");
  ASSERT_TRUE(download);
  EXPECT_EQ(download->status, 200);
  const std::string stored = FileBytes(SourceDataDir() / "pad.dat");
  EXPECT_EQ(download->body, stored);
  EXPECT_NE(stored.find("TITLE="), std::string::npos);
  EXPECT_NE(stored.find("\r\n"), std::string::npos);
  // The sample list agrees with the version it is published under.
  EXPECT_EQ(ParseSiteFile(stored).scriptVersion, "2026.12");
  EXPECT_GE(ParseSiteFile(stored).records.size(), 3u);

  auto manual = client.Get("/manual.htm");
  ASSERT_TRUE(manual);
  EXPECT_EQ(manual->status, 200);
  EXPECT_EQ(manual->body, FileBytes(SourceManualFile()));
  EXPECT_NE(manual->get_header_value("Content-Type").find("text/html"), std::string::npos);

  auto home = client.Get("/");
  ASSERT_TRUE(home);
  EXPECT_EQ(home->status, 200);
  EXPECT_NE(home->body.find("/manual.htm"), std::string::npos);

  // Unknown paths, and the demo's paths outside demo mode, are not found.
  for (const char* target : {"/nothing", "/cgi-bin/other.pl?version=1", "/demo/pad.xml",
                             "/demo/sites/1/submit?pad=a&cat=b", "/manual.htm/x"}) {
    auto missing = client.Get(target);
    ASSERT_TRUE(missing) << target;
    EXPECT_EQ(missing->status, 404) << target;
    EXPECT_NE(missing->body.find("Not Found"), std::string::npos) << target;
  }

  server.Stop();
  std::lock_guard<std::mutex> lock(logMutex);
  EXPECT_NE(std::find(log.begin(), log.end(), "GET /manual.htm 200"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "GET /nothing 404"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "GET /cgi-bin/versioncheck.pl?version=2026.12 200"),
            log.end());
  EXPECT_EQ(server.RequestsAnswered(), static_cast<long long>(log.size()));
}

TEST(SiteServer, ASecondServerOnTheSamePortFailsWithAClearMessage) {
  SiteServer first(TestConfig());
  ASSERT_TRUE(first.Start()) << first.Error();

  SiteConfig same = TestConfig();
  same.port = first.Port();
  SiteServer second(same);
  EXPECT_FALSE(second.Start());
  EXPECT_EQ(second.Error(), "cannot listen on 127.0.0.1:" + std::to_string(first.Port()) +
                                ": address already in use");

  // The first one goes on answering; once it has stopped, the port is free again.
  httplib::Client client = ClientFor(first);
  auto check = client.Get("/cgi-bin/versioncheck.pl?version=");
  ASSERT_TRUE(check);
  EXPECT_EQ(check->status, 200);
  first.Stop();
  SiteServer third(same);
  EXPECT_TRUE(third.Start()) << third.Error();
}

TEST(SiteServer, RefusesToStartWithoutItsPublishedDataOrManual) {
  test::TempFolder folder;
  auto startError = [&](SiteConfig config) {
    SiteServer server(std::move(config));
    EXPECT_FALSE(server.Start());
    return server.Error();
  };
  SiteConfig config = TestConfig();
  config.dataDir = folder / "missing";
  EXPECT_NE(startError(config).find("does not exist"), std::string::npos);

  config.dataDir = folder.Path();
  EXPECT_NE(startError(config).find("has no pad.dat"), std::string::npos);

  folder.Write("pad.dat", "TITLE=A\nSCRIPTVERSION=7\n");
  EXPECT_NE(startError(config).find("has no version.txt"), std::string::npos);

  folder.Write("version.txt", "SCRIPTVERSION=7\n");
  EXPECT_NE(startError(config).find("no VERSION line"), std::string::npos);

  // The two versions of the site list must agree, or the program would be
  // offered the same update forever.
  folder.Write("version.txt", "VERSION=1.01\nSCRIPTVERSION=8\n");
  EXPECT_NE(startError(config).find("SCRIPTVERSION=8 but pad.dat says SCRIPTVERSION=7"),
            std::string::npos);

  SiteConfig noManual = TestConfig();
  noManual.manualFile = folder / "manual.htm";
  EXPECT_NE(startError(noManual).find("cannot read the manual"), std::string::npos);
}

TEST(PublishedData, VersionsComeFromVersionTxtOrThePublishedSiteList) {
  test::TempFolder folder;
  std::string error;
  // Without SCRIPTVERSION in version.txt, pad.dat's own line is published.
  folder.Write("pad.dat", "TITLE=A\r\nSCRIPTVERSION=2027.01\r\n");
  folder.Write("version.txt", "# published versions\r\nVERSION=1.02  \r\n");
  std::optional<PublishedData> data = LoadPublishedData(folder.Path(), error);
  ASSERT_TRUE(data) << error;
  EXPECT_EQ(data->version, "1.02");
  EXPECT_EQ(data->scriptVersion, "2027.01");
  EXPECT_EQ(data->siteList, "TITLE=A\r\nSCRIPTVERSION=2027.01\r\n");

  // A pad.dat without SCRIPTVERSION takes the one of version.txt; the last
  // line of a key wins and needs no line end.
  folder.Write("pad.dat", "TITLE=A\n");
  folder.Write("version.txt", "VERSION=1.0\nVERSION=1.01\nSCRIPTVERSION=5");
  data = LoadPublishedData(folder.Path(), error);
  ASSERT_TRUE(data) << error;
  EXPECT_EQ(FormatVersionAnswer(data->version, data->scriptVersion),
            "VERSION=1.01\r\nSCRIPTVERSION=5\r\n");

  folder.Write("version.txt", "VERSION=1.01\n");
  EXPECT_FALSE(LoadPublishedData(folder.Path(), error));
  EXPECT_NE(error.find("SCRIPTVERSION"), std::string::npos);
}

TEST(SiteServer, DemoSiteListPointsAtDemoSitesThatPassAndFail) {
  SiteConfig config = TestConfig();
  config.demo = true;
  config.demoSites = 8;
  config.demoDelay = std::chrono::milliseconds(0);
  SiteServer server(config);
  ASSERT_TRUE(server.Start()) << server.Error();
  httplib::Client client = ClientFor(server);

  auto pad = client.Get("/demo/pad.xml");
  ASSERT_TRUE(pad);
  EXPECT_EQ(pad->status, 200);
  EXPECT_EQ(server.DemoPadUrl(), server.BaseUrl() + "/demo/pad.xml");
  const std::string category = ExtractCategoryText(pad->body);
  EXPECT_EQ(category, "Games+%26amp%3B+Entertainment%3A%3APuzzle+%26amp%3B+Word+Games");
  // The sample keeps every rule of the PAD check, and every field its pattern.
  EXPECT_EQ(CheckPadFile(pad->body, server.DemoPadUrl()), std::vector<std::string>{});
  for (const PadProblem& problem : CheckPadFields(pad->body, server.DemoPadUrl()))
    ADD_FAILURE() << problem.text;

  auto download = client.Get("/cgi-bin/versionupdate.pl?version=2026.12");
  ASSERT_TRUE(download);
  EXPECT_EQ(download->body, server.PublishedSiteList());
  const SiteFileContents list = ParseSiteFile(download->body);
  ASSERT_EQ(list.records.size(), 8u);
  // Its version is the one the version check reports, so an update settles.
  auto check = client.Get("/cgi-bin/versioncheck.pl?version=");
  ASSERT_TRUE(check);
  EXPECT_EQ(check->body,
            "VERSION=1.01\r\nSCRIPTVERSION=" + list.scriptVersion.value_or("?") + "\r\n");

  int passed = 0;
  int failed = 0;
  for (std::size_t i = 0; i < list.records.size(); ++i) {
    const SiteRecord& site = list.records[i];
    const int number = static_cast<int>(i) + 1;
    const std::string prefix = server.BaseUrl() + "/demo/sites/" + std::to_string(number) + "/";
    EXPECT_EQ(site.Title, DemoSiteTitle(number));
    EXPECT_EQ(site.Url, prefix);
    EXPECT_EQ(site.SubmitUrl, prefix + "add.htm");
    EXPECT_EQ(site.RequestTemplate, prefix + "submit?pad=%PADURL%&cat=%CATEGORY%");

    // Fill the template as a submission run does, and request it.
    std::string request = site.RequestTemplate;
    request.replace(request.find("%CATEGORY%"), 10, category);
    request.replace(request.find("%PADURL%"), 8, server.DemoPadUrl());
    auto answer = client.Get(request.substr(server.BaseUrl().size()));
    ASSERT_TRUE(answer) << request;
    const bool expectFail = DemoSiteAnswer(number) != DemoAnswer::ThankYou;
    EXPECT_EQ(Fails(answer), expectFail) << site.Title << ": " << answer->body;
    (Fails(answer) ? failed : passed) += 1;
    const int expectedStatus = DemoSiteAnswer(number) == DemoAnswer::NotFound      ? 404
                               : DemoSiteAnswer(number) == DemoAnswer::ServerError ? 500
                                                                                   : 200;
    EXPECT_EQ(answer->status, expectedStatus) << site.Title;

    // The pages a user opens from the report are there and clean.
    for (const std::string& page : {site.Url, site.SubmitUrl}) {
      auto shown = client.Get(page.substr(server.BaseUrl().size()));
      ASSERT_TRUE(shown);
      EXPECT_EQ(shown->status, 200) << page;
      EXPECT_FALSE(Fails(shown)) << page;
    }
  }
  EXPECT_EQ(passed, 5);
  EXPECT_EQ(failed, 3);

  // A request that leaves out the PAD address is refused even by a site that
  // thanks everyone else; sites beyond the demo's count do not exist.
  auto noPad = client.Get("/demo/sites/1/submit?cat=Games");
  ASSERT_TRUE(noPad);
  EXPECT_TRUE(Fails(noPad));
  auto beyond = client.Get("/demo/sites/9/submit?pad=a&cat=b");
  ASSERT_TRUE(beyond);
  EXPECT_EQ(beyond->status, 404);
}

// A client connection from the loopback address `source`, with 10 s
// time-outs on every wait.
class RawConnection {
 public:
  explicit RawConnection(int port, const char* source = "127.0.0.1") {
    sock_ = ::socket(AF_INET, SOCK_STREAM, 0);
    timeval wait{10, 0};
    ::setsockopt(sock_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    ::setsockopt(sock_, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    ::inet_pton(AF_INET, source, &address.sin_addr);
    connected_ = ::bind(sock_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ =
        connected_ && ::connect(sock_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~RawConnection() { ::close(sock_); }
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  bool Connected() const { return connected_; }

  // Sends `request` (the server may refuse and hang up before all of it is
  // sent), then stops sending when `endSending`.
  void Send(const std::string& request, bool endSending = false) {
    for (std::size_t sent = 0; sent < request.size();) {
      const ssize_t n = ::send(sock_, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<std::size_t>(n);
    }
    if (endSending) ::shutdown(sock_, SHUT_WR);
  }

  // Whatever the server sends until it hangs up; `hungUp` tells whether it
  // did, rather than the wait running out.
  std::string ReadToEnd(bool* hungUp = nullptr) {
    std::string answer;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::recv(sock_, buffer, sizeof buffer, 0)) > 0)
      answer.append(buffer, static_cast<std::size_t>(n));
    if (hungUp != nullptr) *hungUp = n == 0 || (n < 0 && errno == ECONNRESET);
    return answer;
  }

  // True when the server sent something (or hung up) within `ms`.
  bool ServerSpoke(int ms) {
    pollfd p{sock_, POLLIN, 0};
    return ::poll(&p, 1, ms) > 0;
  }

 private:
  int sock_ = -1;
  bool connected_ = false;
};

// Sends `request` as raw bytes on a new connection (then stops sending when
// `endSending`) and returns whatever the server sends back before it hangs up.
std::string RawExchange(int port, const std::string& request, bool endSending = false,
                        const char* source = "127.0.0.1") {
  RawConnection connection(port, source);
  if (!connection.Connected()) return "";
  connection.Send(request, endSending);
  return connection.ReadToEnd();
}

std::string StatusLine(const std::string& answer) { return answer.substr(0, answer.find('\r')); }

const std::string kVersionCheck =
    "GET /cgi-bin/versioncheck.pl?version= HTTP/1.1\r\nConnection: close\r\n\r\n";

TEST(SiteServer, AnswersManySlowRequestsAtOnceEightOfEachClient) {
  SiteConfig config = TestConfig();
  config.demo = true;
  config.demoSites = 4;
  config.demoDelay = std::chrono::milliseconds(300);
  SiteServer server(config);
  ASSERT_TRUE(server.Start()) << server.Error();

  // Three clients with 12 requests each, more than a client may have answered
  // at once: the others wait their turn.
  constexpr int kClients = 36;
  std::atomic<int> answeredOk{0};
  std::vector<std::thread> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back([&server, &answeredOk, i] {
      const std::string source = "127.0.0." + std::to_string(2 + i % 3);
      const std::string answer =
          RawExchange(server.Port(),
                      "GET /demo/sites/" + std::to_string(i % 4 + 1) +
                          "/submit?pad=http://a.example/pad.xml&cat=Games HTTP/1.1\r\n"
                          "Connection: close\r\n\r\n",
                      false, source.c_str());
      if (StatusLine(answer) == "HTTP/1.1 200 OK") ++answeredOk;
    });
  }
  for (std::thread& t : clients) t.join();
  // Sites 1, 2 and 4 answer 200 (site 3 sends its error page with 200 too).
  EXPECT_EQ(answeredOk.load(), kClients);
  // The slow answers overlapped, but never more than 8 of one client.
  EXPECT_GE(server.PeakInFlight(), 16);
  EXPECT_LE(server.PeakInFlight(), 24);
  EXPECT_EQ(server.InFlight(), 0);
}

// Connections that send nothing hold no thread that answers: more of them
// than there are threads, from several clients, and a new client is still
// answered. One client's further connections wait their turn, and beyond
// that are refused.
TEST(SiteServer, ServesANewClientWhileOthersHoldTheirShareOfSilentConnections) {
  SiteConfig config = TestConfig();
  config.idleTimeout = std::chrono::minutes(5);  // none is closed by itself here
  SiteServer server(config);
  ASSERT_TRUE(server.Start()) << server.Error();
  const int port = server.Port();

  std::vector<std::unique_ptr<RawConnection>> silent;
  for (int client = 2; client <= 6; ++client) {
    const std::string source = "127.0.0." + std::to_string(client);
    for (int i = 0; i < 8; ++i) {
      silent.push_back(std::make_unique<RawConnection>(port, source.c_str()));
      ASSERT_TRUE(silent.back()->Connected());
    }
  }
  ASSERT_GT(static_cast<int>(silent.size()), config.threads);
  // The first client's ninth connection waits, unread; a new client is answered.
  RawConnection ninth(port, "127.0.0.2");
  ninth.Send(kVersionCheck);
  EXPECT_EQ(StatusLine(RawExchange(port, kVersionCheck, false, "127.0.0.9")), "HTTP/1.1 200 OK");
  EXPECT_FALSE(ninth.ServerSpoke(200));
  // Once one of its connections ends, the ninth takes its place.
  silent.front().reset();
  bool hungUp = false;
  EXPECT_EQ(StatusLine(ninth.ReadToEnd(&hungUp)), "HTTP/1.1 200 OK");
  EXPECT_TRUE(hungUp);

  // 7 connections of the first client are left: one more is read, 16 more
  // wait, and the next is refused at once.
  std::vector<std::unique_ptr<RawConnection>> more;
  for (int i = 0; i < 17; ++i) {
    more.push_back(std::make_unique<RawConnection>(port, "127.0.0.2"));
    ASSERT_TRUE(more.back()->Connected());
  }
  RawConnection refused(port, "127.0.0.2");
  refused.Send(kVersionCheck);
  EXPECT_EQ(StatusLine(refused.ReadToEnd(&hungUp)), "HTTP/1.1 503 Service Unavailable");
  EXPECT_TRUE(hungUp);
}

TEST(SiteServer, RefusesRequestsOverItsLimitsAndGoesOnAnswering) {
  SiteConfig config = TestConfig();
  config.maxRequestBytes = 4096;
  config.requestTimeout = std::chrono::milliseconds(300);
  config.idleTimeout = std::chrono::milliseconds(300);
  SiteServer server(config);
  ASSERT_TRUE(server.Start()) << server.Error();
  const int port = server.Port();

  // A request line, the headers or a body that would not fit: the server keeps
  // none of it and says why.
  EXPECT_EQ(StatusLine(RawExchange(port, "GET /" + std::string(100000, 'a'))),
            "HTTP/1.1 414 URI Too Long");
  std::string flood = "GET /manual.htm HTTP/1.1\r\nHost: x\r\n";
  for (int i = 0; i < 500; ++i) flood += "X-Flood: " + std::to_string(i) + "\r\n";
  EXPECT_EQ(StatusLine(RawExchange(port, flood + "\r\n")),
            "HTTP/1.1 431 Request Header Fields Too Large");
  EXPECT_EQ(StatusLine(RawExchange(port, "GET / HTTP/1.1\r\nContent-Length: 1073741824\r\n\r\n" +
                                             std::string(100000, 'b'))),
            "HTTP/1.1 413 Payload Too Large");
  // A chunked body is refused on its head, before any of it is kept.
  std::string chunked = "GET / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n";
  for (int i = 0; i < 10; ++i) chunked += "1000\r\n" + std::string(0x1000, 'c') + "\r\n";
  EXPECT_EQ(StatusLine(RawExchange(port, chunked + "0\r\n\r\n")), "HTTP/1.1 400 Bad Request");

  // A request that does not come whole in time is given up; one cut off on
  // its way is a bad request.
  EXPECT_EQ(StatusLine(RawExchange(port, "GET /manual.htm HTTP/1.1\r\nHost: x\r\n")),
            "HTTP/1.1 408 Request Timeout");
  EXPECT_EQ(StatusLine(RawExchange(port, "GET / HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc")),
            "HTTP/1.1 408 Request Timeout");
  EXPECT_EQ(StatusLine(RawExchange(port, "GET /manual.htm HTTP/1.1\r\nHo", true)),
            "HTTP/1.1 400 Bad Request");

  // A connection on which no request comes, or no further one, is closed
  // without a word.
  for (const std::string& request :
       {std::string(), std::string("GET /cgi-bin/versioncheck.pl?version= HTTP/1.1\r\n\r\n")}) {
    RawConnection idle(port);
    idle.Send(request);
    bool hungUp = false;
    const std::string answer = idle.ReadToEnd(&hungUp);
    EXPECT_TRUE(hungUp) << request;
    EXPECT_EQ(StatusLine(answer), request.empty() ? "" : "HTTP/1.1 200 OK");
  }

  // Requests within the limits are answered as ever, on one connection too.
  const std::string twice =
      "GET /cgi-bin/versioncheck.pl?version=" + std::string(3000, '1') + " HTTP/1.1\r\n\r\n" +
      "GET /cgi-bin/versioncheck.pl?version= HTTP/1.1\r\nConnection: close\r\n\r\n";
  const std::string answers = RawExchange(port, twice);
  EXPECT_EQ(StatusLine(answers), "HTTP/1.1 200 OK");
  const std::size_t second = answers.find("HTTP/1.1", 1);
  ASSERT_NE(second, std::string::npos);
  EXPECT_EQ(StatusLine(answers.substr(second)), "HTTP/1.1 200 OK");
  httplib::Client client = ClientFor(server);
  auto manual = client.Get("/manual.htm");
  ASSERT_TRUE(manual);
  EXPECT_EQ(manual->status, 200);
}

// When the front hands a request on: once its head and the body that the
// head announces have come, and not before; and which heads it refuses, on
// their first bad line.
TEST(SiteServer, ARequestIsWholeWithItsHeadAndAnnouncedBody) {
  constexpr RequestCheck::Kind kWait = RequestCheck::kIncomplete;
  constexpr RequestCheck::Kind kWhole = RequestCheck::kComplete;
  constexpr RequestCheck::Kind kRefuse = RequestCheck::kRefused;
  const std::string get = "GET / HTTP/1.1\r\nHost: x\r\n";
  const std::string withBody = "GET /a HTTP/1.1\r\n";
  const std::string chunked = withBody + "Transfer-Encoding: chunked\r\n";
  struct Case {
    std::string bytes;
    RequestCheck::Kind kind;
    int status;
    std::size_t size;  // of a whole request
  };
  const Case cases[] = {
      {get, kWait, 0, 0},
      {get + "\r\n", kWhole, 0, 27},
      {get + "\r\nGET /second", kWhole, 0, 27},  // the next request follows later
      {"HEAD / HTTP/1.0\r\n\r\n", kWhole, 0, 19},
      {withBody + "content-length:  5 \r\n\r\nabc", kWait, 0, 0},
      {withBody + "Content-Length: 5\r\n\r\nabcdeGET", kWhole, 0, 43},
      {withBody + "Content-Length: 100\r\n\r\n", kRefuse, 413, 0},
      {withBody + "Content-Length: 99999999999999999999999\r\n", kRefuse, 413, 0},
      // The length is digits alone, and there is one.
      {withBody + "Content-Length: many\r\n\r\n", kRefuse, 400, 0},
      {withBody + "Content-Length: -1\r\n\r\n", kRefuse, 400, 0},
      {withBody + "Content-Length: +5\r\n\r\n", kRefuse, 400, 0},
      {withBody + "Content-Length: 5, 5\r\n\r\n", kRefuse, 400, 0},
      {withBody + "Content-Length: 0\r\nContent-length: 0\r\n", kRefuse, 400, 0},
      // No coded body, however the header is written; refused before its end.
      {chunked, kRefuse, 400, 0},
      {withBody + "transfer-encoding: identity\r\nContent-Length: 1\r\n\r\nx", kRefuse, 400, 0},
      // The request line: three parts, single spaces, HTTP/1.0 or 1.1.
      {"GET  / HTTP/1.1\r\n", kRefuse, 400, 0},
      {"GET / HTTP/1.1 \r\n", kRefuse, 400, 0},
      {"GET /\r\n", kRefuse, 400, 0},
      {"GET / HTTP/2.0\r\n", kRefuse, 400, 0},
      {"GET /a\x01b HTTP/1.1\r\n", kRefuse, 400, 0},
      {"G(T / HTTP/1.1\r\n", kRefuse, 400, 0},
      {"\r\nGET / HTTP/1.1\r\n\r\n", kRefuse, 400, 0},
      // Other methods, once their line has come.
      {"BREW /pot HTTP/1.1\r\n", kRefuse, 405, 0},
      {"POST / HTTP/1.1\r\n", kRefuse, 405, 0},
      {"get / HTTP/1.1\r\n", kRefuse, 405, 0},
      {"BREW /pot HTTP/1.1", kWait, 0, 0},
      // Header lines: "name: value", CR LF at the end and nowhere else.
      {get + "X-Bad : 1\r\n", kRefuse, 400, 0},
      {get + "X-Fold: a\r\n b\r\n", kRefuse, 400, 0},
      {get + "No colon\r\n", kRefuse, 400, 0},
      {get + ": no name\r\n", kRefuse, 400, 0},
      {get + "X-Nul: a" + std::string(1, '\0') + "b\r\n", kRefuse, 400, 0},
      {get + "X-Cr: a\rb\r\n", kRefuse, 400, 0},
      {get + "X-Lf: a\n\r\n", kRefuse, 400, 0},
      {"GET / HTTP/1.1\n\n", kRefuse, 400, 0},
      {get + "X-Text: caf\xc3\xa9\t \"ok\"\r\n\r\n", kWhole, 0, 48},
      {"GET /" + std::string(100, 'a'), kRefuse, 414, 0},
      {get + std::string(100, 'h'), kRefuse, 431, 0},
  };
  for (const Case& c : cases) {
    const RequestCheck check = CheckRequest(c.bytes, 100);
    EXPECT_EQ(check.kind, c.kind) << c.bytes;
    EXPECT_EQ(check.status, c.status) << c.bytes;
    EXPECT_EQ(check.size, c.size) << c.bytes;
  }
}

// The answers, in order, that `bytes` brings: each one's status line, its
// headers and its body (by its Content-Length) taken off in turn.
std::vector<std::string> Answers(std::string bytes) {
  std::vector<std::string> answers;
  while (!bytes.empty()) {
    const std::size_t headEnd = bytes.find("\r\n\r\n");
    if (headEnd == std::string::npos) {
      answers.push_back("(cut off) " + StatusLine(bytes));
      break;
    }
    answers.push_back(StatusLine(bytes));
    std::size_t length = 0;
    const std::string head = bytes.substr(0, headEnd + 2);
    if (const std::size_t at = head.find("\r\nContent-Length: "); at != std::string::npos) {
      length = std::stoul(head.substr(at + 18));
    }
    // A HEAD answer names a length but has no body; it comes last in a row.
    bytes.erase(0, std::min(bytes.size(), headEnd + 4 + length));
  }
  return answers;
}

// Requests whose framing a proxy in front could read otherwise than the site:
// each gets one refusal and its connection ends, so nothing sent after it is
// answered as a request of its own.
TEST(SiteServer, AnswersARequestThatBreaksTheRulesOnceAndHangsUp) {
  SiteConfig config = TestConfig();
  config.idleTimeout = std::chrono::minutes(5);  // a kept connection stays open here
  SiteServer server(config);
  ASSERT_TRUE(server.Start()) << server.Error();
  const std::string hidden = "GET /cgi-bin/versionupdate.pl?version= HTTP/1.1\r\n\r\n";
  const std::string last = "GET /cgi-bin/versioncheck.pl HTTP/1.1\r\nConnection: close\r\n\r\n";
  const std::string ok = "HTTP/1.1 200 OK";
  const std::string bad = "HTTP/1.1 400 Bad Request";
  struct Case {
    std::string bytes;
    std::vector<std::string> answers;
    std::string answerHas;  // in the first answer's head
  };
  const Case cases[] = {
      {"GET  /manual.htm HTTP/1.1\r\n\r\n" + hidden, {bad}, ""},
      {"GARBAGE\r\n\r\n" + hidden, {bad}, ""},
      {"BREW /pot HTTP/1.1\r\nHost: x\r\nAccept: */*\r\n\r\n" + hidden,
       {"HTTP/1.1 405 Method Not Allowed"},
       "\r\nAllow: GET, HEAD\r\n"},
      {"GET / HTTP/1.1\r\nTransfer-Encoding: chunked\r\nContent-Length: 5\r\n\r\n0\r\n\r\n" +
           hidden,
       {bad},
       ""},
      {"GET / HTTP/1.1\r\nContent-Length: 0\r\nContent-Length: " + std::to_string(hidden.size()) +
           "\r\n\r\n" + hidden,
       {bad},
       ""},
      {"GET / HTTP/1.1\r\nContent-Length: -1\r\n\r\n" + hidden, {bad}, ""},
      {"GET / HTTP/1.1\r\nContent-Length: +5\r\n\r\nabcde" + hidden, {bad}, ""},
      {"GET / HTTP/1.1\r\nX-Folded: a\r\n b\r\n\r\n" + hidden, {bad}, ""},
      {"GET / HTTP/1.1\nHost: x\n\n" + hidden, {bad}, ""},
      // A request that the front lets through but cpp-httplib refuses (its
      // own limit on the request line) ends the connection too.
      {"GET /" + std::string(9000, 'a') +
           " HTTP/1.1\r\nContent-Length: " + std::to_string(hidden.size()) + "\r\n\r\n" + hidden,
       {"HTTP/1.1 414 URI Too Long"},
       ""},
      // Sound requests on one connection are all answered, a body of a stated
      // length taken off as such, until one breaks the rules.
      {"GET / HTTP/1.1\r\nContent-Length: 5\r\n\r\nabcde" + hidden +
           "GET /nothing HTTP/1.1\r\n\r\n" + last,
       {ok, ok, "HTTP/1.1 404 Not Found", ok},
       ""},
      {hidden + "GET / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 1\r\n\r\nx" + last,
       {ok, bad},
       ""},
      {"GET /cgi-bin/versioncheck.pl HTTP/1.1\r\n\r\nHEAD /manual.htm HTTP/1.0\r\n\r\n" + last,
       {ok, ok},
       ""},
  };
  for (const Case& c : cases) {
    RawConnection connection(server.Port());
    ASSERT_TRUE(connection.Connected());
    connection.Send(c.bytes);
    bool hungUp = false;
    const std::string received = connection.ReadToEnd(&hungUp);
    EXPECT_EQ(Answers(received), c.answers) << c.bytes.substr(0, 200);
    EXPECT_TRUE(hungUp) << c.bytes.substr(0, 200);
    EXPECT_NE(received.substr(0, received.find("\r\n\r\n")).find(c.answerHas), std::string::npos)
        << received.substr(0, 300);
  }
}

// The exported files hold exactly what tesselwick-site answers, and a new
// export replaces them.
TEST(SiteServer, ExportWritesTheAnswersAsFilesForAWebServer) {
  test::TempFolder folder;
  SiteConfig config = TestConfig();
  SiteServer server(config);
  ASSERT_TRUE(server.Start()) << server.Error();
  SiteExport written = ExportSite(config, folder / "site");
  ASSERT_EQ(written.error, "");
  const std::filesystem::path root = folder / "site" / "htdocs";
  EXPECT_EQ(written.root, root);
  EXPECT_EQ(FileBytes(root / "cgi-bin" / "versioncheck.pl"), server.VersionAnswer());
  EXPECT_EQ(FileBytes(root / "cgi-bin" / "versionupdate.pl"), server.PublishedSiteList());
  EXPECT_EQ(FileBytes(root / "manual.htm"), FileBytes(SourceManualFile()));
  httplib::Client client = ClientFor(server);
  auto home = client.Get("/");
  ASSERT_TRUE(home);
  EXPECT_EQ(FileBytes(root / "index.html"), home->body);
  const std::string conf = FileBytes(folder / "site" / "nginx-site.conf");
  EXPECT_NE(conf.find("root \"" + root.string() + "\";"), std::string::npos) << conf;

  std::filesystem::create_directories(folder / "data");
  folder.Write("data/pad.dat", "SCRIPTVERSION=2030.01\r\nTITLE=A\r\nGETORPOST=http://a/\r\n");
  folder.Write("data/version.txt", "VERSION=1.02\r\n");
  config.dataDir = folder / "data";
  written = ExportSite(config, folder / "site");
  ASSERT_EQ(written.error, "");
  EXPECT_EQ(FileBytes(root / "cgi-bin" / "versioncheck.pl"),
            "VERSION=1.02\r\nSCRIPTVERSION=2030.01\r\n");
  EXPECT_EQ(FileBytes(root / "cgi-bin" / "versionupdate.pl"),
            "SCRIPTVERSION=2030.01\r\nTITLE=A\r\nGETORPOST=http://a/\r\n");

  config.demo = true;
  EXPECT_NE(ExportSite(config, folder / "demo").error, "");
  EXPECT_FALSE(std::filesystem::exists(folder / "demo"));
}

// Links planted in the export's folder never lead the export out of it: a
// link in a file's place is replaced by the file, one in a folder's place is
// refused, and the file or folder it points to stays as it was.
TEST(SiteServer, ExportWritesOnlyIntoItsOwnFolder) {
  namespace fs = std::filesystem;
  enum Plant { kLinkToFile, kHardLinkToFile, kLinkToFolder, kFolder };
  struct Case {
    std::string planted;  // under DIR
    Plant plant;
    std::string error;  // what the export says, after DIR; empty: it is written
    std::size_t filesWritten;
  };
  const Case cases[] = {
      {"htdocs/index.html", kLinkToFile, "", 5},
      {"htdocs/cgi-bin/versioncheck.pl", kLinkToFile, "", 5},
      {"nginx-site.conf", kLinkToFile, "", 5},
      {"htdocs/manual.htm", kHardLinkToFile, "", 5},
      {"htdocs", kLinkToFolder, "/htdocs is a symbolic link", 0},
      {"htdocs/cgi-bin", kLinkToFolder, "/htdocs/cgi-bin is a symbolic link", 0},
      {"htdocs/cgi-bin", kLinkToFile, "/htdocs/cgi-bin is a symbolic link", 0},
      // A folder in a file's place stops the export there; the files before
      // it are in place, the version check's answer (the last) is not.
      {"htdocs/index.html", kFolder, "/htdocs/index.html: is a directory", 2},
  };
  for (const Case& c : cases) {
    test::TempFolder folder;
    const fs::path dir = folder / "site";
    fs::create_directories(dir / "htdocs" / "cgi-bin");
    fs::create_directories(folder / "outside");
    folder.Write("outside/file", "not the site's");
    fs::remove_all(dir / c.planted);
    const fs::path target = c.plant == kLinkToFolder ? folder / "outside" : folder / "outside/file";
    if (c.plant == kHardLinkToFile) {
      fs::create_hard_link(target, dir / c.planted);
    } else if (c.plant == kFolder) {
      fs::create_directories(dir / c.planted / "inside");
    } else {
      fs::create_symlink(target, dir / c.planted);
    }

    const SiteExport written = ExportSite(TestConfig(), dir);
    EXPECT_EQ(folder.Read("outside/file"), "not the site's") << c.planted;
    std::vector<fs::path> outside;
    for (const auto& entry : fs::directory_iterator(folder / "outside")) {
      outside.push_back(entry.path().filename());
    }
    EXPECT_EQ(outside, std::vector<fs::path>{"file"}) << c.planted;
    // No temporary folder is left behind, whatever came of the export.
    for (const auto& entry : fs::directory_iterator(dir)) {
      EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
    }
    EXPECT_EQ(written.files.size(), c.filesWritten) << c.planted;
    if (c.error.empty()) {
      EXPECT_EQ(written.error, "") << c.planted;
      EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / c.planted))) << c.planted;
      EXPECT_NE(FileBytes(dir / c.planted), "not the site's") << c.planted;
    } else {
      EXPECT_NE(written.error.find(dir.string() + c.error), std::string::npos) << written.error;
      EXPECT_FALSE(fs::exists(dir / "htdocs" / "cgi-bin" / "versioncheck.pl")) << c.planted;
    }
  }
}

TEST(SiteCommandLine, ReadsTheOptionsAndSaysWhatIsWrong) {
  const DefaultFiles defaults{"share/data", "share/manual.htm"};
  auto parse = [&](const std::vector<std::string>& args) {
    return ParseCommandLine(args, defaults);
  };
  CommandLine cl = parse({});
  EXPECT_TRUE(cl.error.empty()) << cl.error;
  EXPECT_EQ(cl.config.dataDir, "share/data");
  EXPECT_EQ(cl.config.manualFile, "share/manual.htm");
  EXPECT_EQ(cl.config.host, "127.0.0.1");
  EXPECT_EQ(cl.config.port, 8417);
  EXPECT_FALSE(cl.config.demo);

  cl = parse({"--demo", "--data=x", "--port=0", "--host", "0.0.0.0", "--demo-sites", "40",
              "--demo-delay-ms", "0", "--manual", "m.htm"});
  EXPECT_TRUE(cl.error.empty()) << cl.error;
  EXPECT_TRUE(cl.config.demo);
  EXPECT_EQ(cl.config.dataDir, "x");
  EXPECT_EQ(cl.config.port, 0);
  EXPECT_EQ(cl.config.host, "0.0.0.0");
  EXPECT_EQ(cl.config.demoSites, 40);
  EXPECT_EQ(cl.config.demoDelay.count(), 0);
  EXPECT_EQ(cl.config.manualFile, "m.htm");

  EXPECT_TRUE(parse({"--help"}).help);
  EXPECT_TRUE(parse({"-h"}).error.empty());
  EXPECT_NE(parse({"--port", "65536"}).error.find("0 to 65535"), std::string::npos);
  EXPECT_NE(parse({"--port", "80x"}).error.find("80x"), std::string::npos);
  EXPECT_NE(parse({"--demo-sites", "0"}).error.find("--demo-sites"), std::string::npos);
  EXPECT_EQ(parse({"--quiet"}).error, "unknown option --quiet");
  EXPECT_EQ(parse({"--data"}).error, "--data needs a value");
  EXPECT_EQ(parse({"--export", "out"}).exportDir, "out");
  EXPECT_NE(parse({"--export=out", "--demo"}).error.find("demo"), std::string::npos);
  EXPECT_EQ(parse({"--export="}).error, "--export needs a folder");
  // The help text names the defaults in use.
  EXPECT_NE(UsageText(defaults).find("share/manual.htm"), std::string::npos);
}

// Installed, the program's data lies in the share folder beside its own
// folder; run from a build folder, it falls back on the source tree.
TEST(SiteCommandLine, DefaultsAreTheInstalledFilesWhenThereAreAny) {
  test::TempFolder prefix;
  std::filesystem::create_directories(prefix / "bin");
  const std::filesystem::path program = prefix / "bin" / "tesselwick-site";

  DefaultFiles found = FindDefaultFiles(program, "../share/tesselwick");
  EXPECT_EQ(found.dataDir, SourceDataDir());
  EXPECT_EQ(found.manualFile, SourceManualFile());

  std::filesystem::create_directories(prefix / "share" / "tesselwick" / "data");
  found = FindDefaultFiles(program, "../share/tesselwick");
  EXPECT_EQ(found.dataDir, prefix / "share" / "tesselwick" / "data");
  EXPECT_EQ(found.manualFile, prefix / "share" / "tesselwick" / "manual.htm");

  // This build's own program is not installed: the source tree serves.
  EXPECT_EQ(FindDefaultFiles().dataDir, SourceDataDir());
}

}  // namespace
}  // namespace tesselwick::site
