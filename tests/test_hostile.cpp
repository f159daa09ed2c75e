// The command line under hostile input and faults, one test per kind of
// fault: broken SVM models, outputs that are inputs, failed runs, signals,
// .aif CRS lines, integer options, and one clean line with a telling exit code.
// The binary runs in a child process, so a crash or a hang shows as a failure.
#include "support/cli.h"
#include "support/fixtures.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

struct Child {
    pid_t pid;
    fs::path out, err;
};

// Starts the binary with stdout and stderr in files (stdout: to `out` when given),
// each file it writes limited to fileLimit bytes when given: a disk that fills.
Child start(const std::vector<std::string>& args, const std::string& out = "", rlim_t fileLimit = 0) {
    static int count = 0;
    const fs::path dir = ScratchDir() / "hostile-io";
    fs::create_directories(dir);
    const std::string n = std::to_string(count++);
    Child c{0, out.empty() ? dir / ("out" + n) : fs::path(out), dir / ("err" + n)};
    std::vector<char*> argv{const_cast<char*>(TESSERA_CLI_PATH)};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    c.pid = ::fork();
    if (c.pid == 0) {
        ::dup2(::open(c.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        ::dup2(::open(c.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        const rlimit limit{fileLimit, fileLimit};
        if (fileLimit > 0)
            ::setrlimit(RLIMIT_FSIZE, &limit);
        ::execv(TESSERA_CLI_PATH, argv.data());
        ::_exit(127);
    }
    return c;
}

// Waits for the exit code, 128 + signal when killed; a hang is killed after two minutes.
CliRun finish(const Child& c) {
    int status = 0;
    bool killed = false;
    for (const auto end = Clock::now() + std::chrono::minutes(2); ::waitpid(c.pid, &status, WNOHANG) == 0;) {
        killed = killed || (Clock::now() > end && ::kill(c.pid, SIGKILL) == 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return {code, c.out == "/dev/full" ? "" : ReadBytes(c.out), ReadBytes(c.err)};
}

bool running(pid_t pid) {
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == 0;
}

CliRun run(const std::vector<std::string>& args, const std::string& out = "", rlim_t fileLimit = 0) {
    return finish(start(args, out, fileLimit));
}

// What a run may leave behind by mistake: hidden partial files, folders and backups, temporaries.
std::vector<std::string> leftovers(const fs::path& dir) {
    std::vector<std::string> names;
    for (const std::string& name : FilesIn(dir))
        if (name[0] == '.' || name.find(".tmp.") != std::string::npos)
            names.push_back(name);
    return names;
}

// A small scene, its samples and a K-Means map, made once.
struct Scene {
    fs::path dir, image, truth, samples, map;
};
const Scene& scene(int size = 96) {
    static std::map<int, Scene> scenes;
    Scene& s = scenes[size];
    if (s.dir.empty()) {
        s.dir = Scratch("hostile-scene-" + std::to_string(size));
        s = {s.dir, s.dir / "scene.tif", s.dir / "truth.tif", s.dir / "s.cif", s.dir / "map.tif"};
        const std::vector<std::vector<std::string>> steps = {
            {"synth", s.dir.string(), "--size", std::to_string(size), "--bands", "3", "--classes", "3",
             "--points", "30", "--polygons-per-class", "1"},
            {"samples", s.image.string(), (s.dir / "training.shp").string(), s.samples.string(),
             "--class-field", "class"},
            {"kmeans", s.image.string(), s.map.string(), "--classes", "3", "--quiet"}};
        for (const std::vector<std::string>& args : steps)
            EXPECT_EQ(RunTessera(args).code, 0) << args[0];
    }
    return s;
}

// One line naming `words`, with exit code `code`.
void expectRefusal(const CliRun& r, int code, const std::string& words) {
    EXPECT_EQ(std::tuple(r.code, LineCount(r.err)), std::tuple(code, 1)) << r.err;
    EXPECT_NE(r.err.find(words), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("ERROR"), std::string::npos) << r.err;
}

TEST(Hostile, BrokenSvmModelsAreRefusedWithOneLineNamingTheFile) {
    const Scene& s = scene();
    const fs::path out = Scratch("hostile-svm");
    ASSERT_EQ(RunTessera({"classify", s.image.string(), s.samples.string(), (out / "m.tif").string(),
                          "--method", "svm", "--kernel", "poly", "--degree", "2", "--quiet"})
                  .code,
              0);
    const std::string model = ReadBytes(out / "m.svm");
    // Edits: the line that starts with the first text becomes the second ('|' a line end).
    // clang-format off
    const std::vector<std::string> edits = {"rho ", "", "label ", "", "nr_sv ", "nr_sv 1 1 1|", "total_sv ",
        "total_sv 0|", "degree ", "", "label ", "label 1 1 2|", "kernel_type ", "kernel_type precomputed|",
        "degree ", "degree 2147483647999|", "SV", "SV|1e999 0 1:nan|", "tessera_scaling ", "tessera_scaling 2|"};
    // clang-format on
    std::vector<std::string> broken = {""};
    for (size_t e = 0; e < edits.size(); e += 2) {
        const size_t at = model.find(edits[e]);
        ASSERT_NE(at, std::string::npos) << edits[e];
        std::string to = edits[e + 1];
        std::replace(to.begin(), to.end(), '|', '\n');
        broken.push_back(std::string(model).replace(at, model.find('\n', at) + 1 - at, to));
    }
    for (int cut = 1; cut < 12; ++cut)
        broken.push_back(model.substr(0, model.size() * cut / 12));
    const std::string bad = (out / "bad.svm").string(), target = (out / "c.tif").string();
    for (const std::string& text : broken) {
        WriteBytes(bad, text);
        const CliRun r = run({"classify", s.image.string(), s.samples.string(), target, "--method", "svm",
                              "--model", bad, "--quiet"});
        expectRefusal(r, 1, bad);
        EXPECT_FALSE(fs::exists(target));
    }
}

TEST(Hostile, NoOutputOverwritesAnInputOrAnotherOutput) {
    const Scene& s = scene();
    const fs::path d = Scratch("hostile-roles");
    fs::copy_file(s.image, d / "in.tif");
    fs::copy_file(s.samples, d / "S.cif");
    fs::copy_file(s.map, d / "map.tif");
    fs::copy_file(fs::path(s.map).replace_extension(".acf"), d / "map.acf");
    fs::create_symlink(d / "in.tif", d / "link.tif");
    fs::copy_file(s.map, d / "out.dbf"); // a GeoTIFF by another name: a shapefile part of OUT
    fs::copy_file(fs::path(s.map).replace_extension(".acf"), d / "out.acf");
    const std::map<std::string, std::string> before = {{"in.tif", ReadBytes(d / "in.tif")},
                                                       {"S.cif", ReadBytes(d / "S.cif")},
                                                       {"map.tif", ReadBytes(d / "map.tif")}};
    const std::string in = (d / "in.tif").string(), S = (d / "S.cif").string(),
                      map = (d / "map.tif").string(), truth = s.truth.string();
    const std::vector<std::vector<std::string>> cases = {
        {"kmeans", in, (d / "." / "in.tif").string()},
        {"kmeans", in, (d / "link.tif").string()},
        {"kmeans", in, (d / "x" / ".." / "out.tif").string(), "--aoi", (d / "out.tif").string()},
        {"classify", in, S, S, "--method", "mindist"},
        {"classify", in, S, (d / "o.svm").string(), "--method", "svm"},
        {"classify", in, S, (d / "c.tif").string(), "--method", "svm", "--model", (d / "c.acf").string()},
        {"accuracy", map, "--reference", truth, "--report", map},
        {"accuracy", map, "--reference", truth, "--report", (d / "r.txt").string(), "--json",
         (d / "./r.txt").string()},
        {"sieve", map, (d / "map.img").string(), "--classes", "1"},
        {"polygonize", (d / "out.dbf").string(), (d / "out.shp").string(), "--classes", "1"},
        {"samples", in, (d / "S.cif").string(), S, "--class-field", "class"},
    };
    for (const std::vector<std::string>& args : cases) {
        const CliRun r = run(args);
        expectRefusal(r, 2, "; choose");
        for (const auto& [name, bytes] : before)
            EXPECT_EQ(ReadBytes(d / name), bytes) << args[0] << " " << name;
    }
}

TEST(Hostile, AFailedRunLeavesTheEarlierOutputsByteIdentical) {
    const Scene& s = scene();
    const fs::path d = Scratch("hostile-failed");
    const std::string k = (d / "k.tif").string(), in = s.image.string();
    ASSERT_EQ(run({"kmeans", in, k, "--classes", "3", "--quiet"}).code, 0);
    const std::string image = ReadBytes(k);
    // The second output cannot be written: a folder is in its way.
    fs::remove(d / "k.acf");
    fs::create_directory(d / "k.acf");
    expectRefusal(run({"kmeans", in, k, "--classes", "4", "--quiet"}), 1, "k.acf");
    EXPECT_EQ(ReadBytes(k), image);
    // The same for the model of an SVM run and for the report beside its JSON.
    WriteBytes(d / "k.svm", "earlier model");
    expectRefusal(run({"classify", in, s.samples.string(), k, "--method", "svm", "--quiet"}), 1, "k.acf");
    EXPECT_EQ(std::tuple(ReadBytes(k), ReadBytes(d / "k.svm")),
              std::tuple(image, std::string("earlier model")));
    WriteBytes(d / "r.txt", "earlier report");
    const std::vector<std::string> accuracy = {
        "accuracy", s.map.string(),         "--reference", s.truth.string(),
        "--report", (d / "r.txt").string(), "--json",      (d / "missing" / "j.json").string()};
    expectRefusal(run(accuracy), 1, "j.json");
    EXPECT_EQ(ReadBytes(d / "r.txt"), "earlier report");
    // The disk fills part-way through the image.
    fs::remove(d / "k.acf");
    const Scene& big = scene(1200);
    expectRefusal(run({"kmeans", big.image.string(), k, "--quiet"}, "", 20000), 1,
                  "Writing the output image failed");
    EXPECT_EQ(ReadBytes(k), image);
    EXPECT_EQ(leftovers(d), std::vector<std::string>());
}

// Starts args, sends sig once `marker` shows in dir (or after delay when marker is empty),
// and checks that the run either completed or left the earlier files and nothing else.
void interrupt(const std::vector<std::string>& args, const fs::path& dir, const std::string& marker, int sig,
               const std::map<std::string, std::string>& earlier, std::chrono::milliseconds delay = {}) {
    const Child c = start(args);
    std::this_thread::sleep_for(delay);
    const auto seen = [&] {
        for (const std::string& name : FilesIn(dir))
            if (name.rfind(marker, 0) == 0)
                return true;
        return false;
    };
    for (const auto deadline = Clock::now() + std::chrono::seconds(60);
         !marker.empty() && Clock::now() < deadline && running(c.pid) && !seen();)
        ;
    ::kill(c.pid, sig);
    const CliRun r = finish(c);
    EXPECT_EQ(leftovers(dir), std::vector<std::string>()) << args[0];
    if (r.code == 0)
        return; // finished before the signal was seen
    // Stopped (or killed before it could catch the signal): a last line that says so.
    const std::string last = r.err.substr(r.err.rfind('\n', r.err.size() - 2) + 1);
    EXPECT_TRUE(r.code == 128 + sig ||
                std::tuple(r.code, last) ==
                    std::tuple(1, "tessera " + args[0] + ": interrupted; nothing was written\n"))
        << r.code << " " << last;
    for (const auto& [name, bytes] : earlier)
        EXPECT_EQ(ReadBytes(dir / name), bytes) << args[0] << " " << name;
}

TEST(Hostile, SigtermAndSighupStopEveryCommandAndLeaveTheEarlierOutputs) {
    const Scene& big = scene(1200);
    const fs::path d = Scratch("hostile-signals");
    const std::map<std::string, std::string> earlier = {{"k.tif", "earlier image"},
                                                        {"k.acf", "earlier acf"},
                                                        {"k.svm", "earlier model"},
                                                        {"scene.tif", "earlier"}};
    for (const auto& [name, bytes] : earlier)
        WriteBytes(d / name, bytes);
    const std::string in = big.image.string(), k = (d / "k.tif").string();
    interrupt({"kmeans", in, k, "--classes", "5", "--iterations", "50", "--quiet"}, d, ".k.partial-", SIGTERM,
              earlier);
    interrupt({"isodata", in, k, "--quiet"}, d, ".k.partial-", SIGHUP, earlier);
    interrupt({"classify", in, big.samples.string(), k, "--method", "svm", "--quiet"}, d, ".k.partial-",
              SIGTERM, earlier);
    interrupt({"polygonize", big.map.string(), (d / "k.shp").string(), "--classes", "1,2,3"}, d,
              ".k.partial-", SIGTERM, earlier);
    interrupt({"synth", d.string(), "--size", "3000"}, d, ".synth-", SIGTERM, earlier);
    interrupt({"synth", d.string(), "--size", "3000"}, d, ".synth-", SIGINT, earlier);
    // Late signals, at the end of a short run: it completes or changes nothing.
    const Scene& s = scene();
    for (int ms = 0; ms <= 300; ms += 30) {
        const std::map<std::string, std::string> now = {{"k.tif", ReadBytes(k)},
                                                        {"k.acf", ReadBytes(d / "k.acf")}};
        interrupt({"kmeans", s.image.string(), k, "--quiet"}, d, "", SIGTERM, now,
                  std::chrono::milliseconds(ms));
    }
}

TEST(Hostile, AnAifCrsLineIsWktOrEpsgAndNothingElse) {
    const Scene& s = scene();
    const fs::path d = Scratch("hostile-aif");
    // A listener on the loopback: the run must not connect to it.
    const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(server, 4), 0);
    ::getsockname(server, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/crs";
    const auto aoi = [&](const std::string& crs) {
        WriteBytes(d / "a.aif", "TESSERA-AIF 1\ncrs " + crs +
                                    "\npolygon 4\n-1e7 -1e7\n1e7 -1e7\n1e7 1e7\n-1e7 1e7\nend\n");
        return run(
            {"kmeans", s.image.string(), (d / "k.tif").string(), "--aoi", (d / "a.aif").string(), "--quiet"});
    };
    for (const std::string& crs :
         {url, std::string("/etc/passwd"), std::string("+proj=longlat"), std::string("EPSG:4326 http://x"),
          std::string("GEOGCS[\"x\" /etc/passwd")}) {
        expectRefusal(aoi(crs), 1, "area of interest");
        EXPECT_FALSE(fs::exists(d / "k.tif"));
    }
    EXPECT_LT(::accept(server, nullptr, nullptr), 0); // nobody came
    ::close(server);
    EXPECT_EQ(aoi("EPSG:32650").code, 0);
}

TEST(Hostile, IntegerOptionsAreCheckedBeforeNarrowing) {
    const Scene& s = scene();
    const std::string in = s.image.string(), out = (Scratch("hostile-ints") / "k.tif").string();
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"kmeans", in, out, "--bands", "4294967297"}, "--bands values must be at most 2147483647"},
        {{"isodata", in, out, "--min-pixels", "4294967295"}, "--min-pixels must be at most 2147483647"},
        {{"kmeans", in, out, "--classes", "-4294967295"}, "--classes must be at least 1"},
        {{"kmeans", in, out, "--bands", "1,-9223372036854775808"}, "--bands values must be at least 1"},
        {{"kmeans", in, out, "--classes", "99999999999999999999"}, "--classes expects a whole number"},
        {{"polygonize", s.map.string(), out + ".shp", "--classes", "4294967297"}, "at most 2147483647"},
    };
    for (const auto& [args, words] : cases)
        expectRefusal(run(args), 2, words);
}

TEST(Hostile, OneCleanLineAndAnExitCodeThatTells) {
    const Scene& s = scene();
    const fs::path d = Scratch("hostile-lines"), made = d / "scene";
    // A usage error (2), a success (0) and a runtime failure (1): the output folder is a file.
    CliRun r = run({"synth", made.string(), "--classes", "0"});
    EXPECT_EQ(
        std::tuple(r.code, r.err, r.out),
        std::tuple(2, std::string("tessera synth: --classes must be at least 1 (got 0)\n"), std::string()));
    EXPECT_FALSE(fs::exists(made));
    r = run({"synth", made.string(), "--size", "64", "--classes", "2", "--points", "20",
             "--polygons-per-class", "1"});
    EXPECT_EQ(std::tuple(r.code, LineCount(r.out),
                         r.out.rfind("synth: 64 x 64 pixels, 4 bands, 2 classes, seed 1: ", 0)),
              std::tuple(0, 1, 0u))
        << r.err << r.out;
    EXPECT_TRUE(fs::exists(made / "scene.tif") && fs::exists(made / "training.dbf"));
    r = run({"synth", (made / "scene.tif").string(), "--size", "64", "--classes", "2"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err.rfind("tessera synth: cannot create the folder "),
              r.err.rfind('\n', r.err.size() - 2) + 1)
        << r.err;
    // GDAL's own messages are folded into the one line.
    WriteBytes(d / "fake.tif", "II*\0 this is no TIFF");
    expectRefusal(run({"kmeans", (d / "fake.tif").string(), (d / "k.tif").string(), "--quiet"}), 1,
                  "fake.tif");
    // A result that cannot reach standard output.
    const std::vector<std::vector<std::string>> printing = {
        {"stats", s.map.string()}, {"--help"}, {"kmeans", "--help"}};
    for (const std::vector<std::string>& args : printing)
        expectRefusal(run(args, "/dev/full"), 1, "cannot write to standard output");
    // Both outputs or neither.
    expectRefusal(run({"accuracy", s.map.string(), "--reference", s.truth.string(), "--report",
                       (d / "r.txt").string(), "--json", (d / "missing" / "j.json").string()}),
                  1, "j.json");
    EXPECT_FALSE(fs::exists(d / "r.txt"));
    // 65,536 classes: a clear refusal, not std::bad_alloc.
    std::string acf = "TESSERA-ACF 1\npixel-size 1 1\nclass-count 65536\n";
    for (int c = 0; c < 65536; ++c)
        acf += "class " + std::to_string(c) + " 0 0 0x00000000 C" + std::to_string(c) + "\n";
    fs::copy_file(s.map, d / "many.tif");
    WriteBytes(d / "many.acf", acf + "end\n");
    expectRefusal(run({"accuracy", (d / "many.tif").string(), "--reference", s.truth.string(), "--report",
                       (d / "r.txt").string()}),
                  1, "at most 4096 classes");
    // A recount of a multi-band image, an empty --aoi.
    fs::copy_file(s.image, d / "multi.tif");
    fs::copy_file(fs::path(s.map).replace_extension(".acf"), d / "multi.acf");
    expectRefusal(run({"stats", (d / "multi.tif").string(), "--recount"}), 2, "3 bands");
    expectRefusal(run({"kmeans", s.image.string(), (d / "k.tif").string(), "--aoi", ""}), 2, "--aoi");
}

} // namespace
