// XRW files: loading, listing and saving, with crafted damaged files.
#include "volume_test_util.h"

#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

#include <zlib.h>

namespace {

const int NX = 5, NY = 4, NZ = 3, N = NX * NY * NZ;

std::string validContent()
{
    return xrwContent(NX, NY, NZ, 0.5f, 0.75f, 2.0f, patternBytes(N, 7), patternBytes(768, 9));
}

// Loads the file, expecting failure with exactly the given stderr text.
void expectLoadFails(const std::string &path, const std::string &message)
{
    testing::internal::CaptureStderr();
    Xraw *x = loadXraw(path.c_str());
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(x, nullptr);
    EXPECT_EQ(err, message);
    freeXraw(x);
}

// Names of leftover temporary files beside a saved file.
int countTempFiles(const std::string &dir)
{
    int n = 0;
    DIR *d = opendir(dir.c_str());
    if (!d)
        return -1;
    while (dirent *e = readdir(d))
        if (strstr(e->d_name, ".save-"))
            n++;
    closedir(d);
    return n;
}

class XrwDamaged : public testing::TestWithParam<bool> {
  protected:
    std::string path = tmpPath(GetParam() ? "damaged.xrw" : "damaged.raw");
    void write(const std::string &content) { writeFile(path, content, GetParam()); }
};

TEST_P(XrwDamaged, TruncatedHeaderFields)
{
    std::string full = validContent();
    for (size_t len : {0, 1, 4, 8, 11}) {
        SCOPED_TRACE(len);
        write(full.substr(0, len));
        expectLoadFails(path, "Failed to read volume dimensions.\n");
    }
    for (size_t len : {12, 16, 20, 23}) {
        SCOPED_TRACE(len);
        write(full.substr(0, len));
        expectLoadFails(path, "Failed to read voxel sizes.\n");
    }
}

TEST_P(XrwDamaged, TruncatedVoxelsAndColourTable)
{
    std::string full = validContent();
    write(full.substr(0, 24 + N - 1));
    expectLoadFails(path, "Failed to read entire volume: inconsistent file.\n");
    for (size_t len : {24 + N, 24 + N + 255, 24 + N + 256, 24 + N + 600, 24 + N + 767}) {
        SCOPED_TRACE(len);
        write(full.substr(0, len));
        expectLoadFails(path, "Failed reading embedded colour look-up table.\n");
    }
}

TEST_P(XrwDamaged, TrailingByteIsRejected)
{
    write(validContent() + "x");
    expectLoadFails(path, "Read data, but not at end of file.  Invalid state.\n");
}

TEST_P(XrwDamaged, EmptyVoxelBlockLoads)
{
    std::vector<unsigned char> cmap = patternBytes(768, 3);
    write(xrwContent(0, 7, 9, 1, 1, 1, {}, cmap));
    Xraw *x = loadXraw(path.c_str());
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(x->nx, 0);
    EXPECT_EQ(x->ny, 7);
    EXPECT_EQ(x->nz, 9);
    EXPECT_EQ(memcmp(x->cmap_b, cmap.data() + 512, 256), 0);
    freeXraw(x);
}

TEST_P(XrwDamaged, EmptyVolumeNeedingMillionsOfRowsIsRefused)
{
    // No voxels, but a float volume of it would need 4094 * 16385 tables.
    std::vector<unsigned char> cmap = patternBytes(768, 5);
    write(xrwContent(4094, 16384, 0, 1, 1, 1, {}, cmap));
    expectLoadFails(path, "Volume of 4094 x 16384 x 0 holds no voxels but would need 67080190 rows.\n");
    write(xrwContent(100000000, 0, 0, 1, 1, 1, {}, cmap));
    expectLoadFails(path, "Volume of 100000000 x 0 x 0 holds no voxels but would need 100000000 rows.\n");
}

TEST_P(XrwDamaged, BadDimensionsRefusedBeforeAllocating)
{
    std::string cmap(768, '\0');
    write(xrwContent(-1, 4, 4, 1, 1, 1, {}, {}) + cmap);
    expectLoadFails(path, "Invalid volume dimensions -1 x 4 x 4.\n");
    write(xrwContent(65536, 65536, 1, 1, 1, 1, {}, {}) + cmap);
    expectLoadFails(path, "Volume dimensions 65536 x 65536 x 1 exceed 2147483647 voxels.\n");
}

TEST_P(XrwDamaged, VolumeLargerThanFileCanHoldIsRefused)
{
    // A header claiming a billion voxels over a file of a few hundred bytes.
    write(xrwContent(1000, 1000, 1000, 1, 1, 1, {}, {}) + std::string(800, '\0'));
    expectLoadFails(path, "Volume of 1000 x 1000 x 1000 voxels is more than file '" + path + "' can hold.\n");
}

INSTANTIATE_TEST_SUITE_P(GzipAndPlain, XrwDamaged, testing::Bool());

TEST(XrwLoad, PlainFileShorterThanItsVoxelsHitsTheCap)
{
    // An uncompressed file can hold at most its own size in voxels.
    std::string path = tmpPath("short.raw");
    writeFile(path, validContent().substr(0, 24 + 10), false);
    expectLoadFails(path, "Volume of 5 x 4 x 3 voxels is more than file '" + path + "' can hold.\n");
}

TEST(XrwLoad, HighlyCompressedVolumeStaysUnderTheCap)
{
    // All-zero voxels compress close to deflate's limit and must still load.
    const int n = 128;
    std::string path = tmpPath("zeros.xrw");
    std::vector<unsigned char> zeros((size_t)n * n * n, 0);
    std::string content = xrwContent(n, n, n, 1, 1, 1, zeros, std::vector<unsigned char>(768, 0));
    gzFile gz = gzopen(path.c_str(), "wb9");
    ASSERT_NE(gz, nullptr);
    ASSERT_EQ(gzwrite(gz, content.data(), (unsigned)content.size()), (int)content.size());
    ASSERT_EQ(gzclose(gz), Z_OK);
    Xraw *x = loadXraw(path.c_str());
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(x->data[(size_t)n * n * n - 1], 0);
    freeXraw(x);
}

// A pipe has no size to check a header against; its voxels are read as they
// arrive, and a header claiming more than the pipe delivers is refused.
Xraw *loadThroughPipe(const std::string &fifo, const std::string &content)
{
    unlink(fifo.c_str());
    EXPECT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    pid_t pid = fork();
    if (pid == 0) {
        FILE *f = fopen(fifo.c_str(), "wb");
        if (f) {
            fwrite(content.data(), 1, content.size(), f);
            fclose(f);
        }
        _exit(0);
    }
    testing::internal::CaptureStderr();
    Xraw *x = loadXraw(fifo.c_str());
    testing::internal::GetCapturedStderr();
    waitpid(pid, nullptr, 0);
    unlink(fifo.c_str());
    return x;
}

// One gzip member holding data, as gzip -c writes it.
std::string gzipMember(const std::string &data)
{
    z_stream zs{};
    EXPECT_EQ(deflateInit2(&zs, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&zs, data.size()) + 32, '\0');
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef *>(&out[0]);
    zs.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

// Whole gzip files are inflated in one go; what that reader does not take
// (several members, bytes after the last one, damage) must load, or fail,
// as the stream reader always did.
TEST(XrwLoad, GzipMembersAndTrailingBytesAsTheStreamReads)
{
    const int nx = 40, ny = 30, nz = 20;
    std::vector<unsigned char> voxels = patternBytes(nx * ny * nz, 11), cmap = patternBytes(768, 12);
    std::string content = xrwContent(nx, ny, nz, 1, 2, 3, voxels, cmap);
    std::string path = tmpPath("members.xrw");
    auto expectLoads = [&](const std::string &file) {
        writeFile(path, file, false);
        Xraw *x = loadXraw(path.c_str());
        ASSERT_NE(x, nullptr);
        EXPECT_EQ(x->nx, nx);
        EXPECT_EQ(x->dz, 3.0f);
        EXPECT_EQ(memcmp(x->data, voxels.data(), voxels.size()), 0);
        EXPECT_EQ(memcmp(x->cmap_r, cmap.data(), 256), 0);
        EXPECT_EQ(memcmp(x->cmap_b, cmap.data() + 512, 256), 0);
        freeXraw(x);
    };
    std::string one = gzipMember(content);
    expectLoads(one);
    // Members cut inside the header, the voxels and the table, and an empty one.
    expectLoads(gzipMember(content.substr(0, 10)) + gzipMember(content.substr(10, 5000)) + gzipMember("") +
                gzipMember(content.substr(5010, content.size() - 5200)) +
                gzipMember(content.substr(content.size() - 190)));
    // Bytes after the last member that are not another one are ignored.
    expectLoads(one + "not gzip");
    expectLoads(one + "\x1f");

    // A member's worth of data past the table, and another member that is
    // cut short, are both data after the end.
    writeFile(path, one + gzipMember("x"), false);
    expectLoadFails(path, "Read data, but not at end of file.  Invalid state.\n");
    std::string next = gzipMember("more");
    writeFile(path, one + next.substr(0, next.size() - 3), false);
    expectLoadFails(path, "Read data, but not at end of file.  Invalid state.\n");
    // Cut inside the voxels of the second of two members.
    std::string two = gzipMember(content.substr(0, 100)) + gzipMember(content.substr(100));
    writeFile(path, two.substr(0, two.size() - 400), false);
    testing::internal::CaptureStderr();
    EXPECT_EQ(loadXraw(path.c_str()), nullptr);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(err == "Failed to read entire volume: inconsistent file.\n" ||
                err == "Failed reading embedded colour look-up table.\n")
        << err;
    // A damaged check sum is never taken for a good file.
    std::string bad = one;
    bad[bad.size() - 6] ^= 0x55;
    writeFile(path, bad, false);
    testing::internal::CaptureStderr();
    EXPECT_EQ(loadXraw(path.c_str()), nullptr);
    err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

TEST(XrwLoad, ReadsFromAPipe)
{
    std::string fifo = tmpPath("pipe.xrw");
    Xraw *x = loadThroughPipe(fifo, validContent());
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(memcmp(x->data, patternBytes(N, 7).data(), N), 0);
    freeXraw(x);
    std::string huge = xrwContent(1000, 1000, 1000, 1, 1, 1, {}, {}) + std::string(4000, '\1');
    EXPECT_EQ(loadThroughPipe(fifo, huge), nullptr);
}

TEST(XrwLoad, MissingFileAndOverlongPath)
{
    std::string missing = tmpPath("no_such_file.xrw");
    expectLoadFails(missing, "Failed to open file '" + missing + "'.\n");
    std::string longPath(400, 'a');
    expectLoadFails(longPath, "File name of 400 characters is too long (at most 399).\n");
}

TEST(XrwLoad, NonFiniteVoxelSizesAreCarried)
{
    std::string path = tmpPath("nan.xrw");
    writeFile(path, xrwContent(2, 2, 2, NAN, INFINITY, 1, patternBytes(8, 1), patternBytes(768, 2)), true);
    Xraw *x = loadXraw(path.c_str());
    ASSERT_NE(x, nullptr);
    EXPECT_TRUE(std::isnan(x->dx));
    EXPECT_TRUE(std::isinf(x->dy));
    int stride[3] = {1, 1, 1};
    Xvol *v = Xraw2Xvol(x, stride);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->nx, 2);
    freeXvol(v);
    freeXraw(x);
}

TEST(XrwSave, RoundTripKeepsEverything)
{
    Xraw *x = makeXraw(7, 6, 5, 42);
    std::string path = tmpPath("roundtrip.xrw");
    strcpy(x->filename, path.c_str());
    ASSERT_EQ(saveXraw(x), 0);
    std::string bytes = readFile(path);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ((unsigned char)bytes[0], 0x1f);
    EXPECT_EQ((unsigned char)bytes[1], 0x8b);
    Xraw *y = loadXraw(path.c_str());
    ASSERT_NE(y, nullptr);
    EXPECT_STREQ(y->filename, path.c_str());
    EXPECT_EQ(y->nx, 7);
    EXPECT_EQ(y->ny, 6);
    EXPECT_EQ(y->nz, 5);
    EXPECT_TRUE(sameBits(y->dx, x->dx) && sameBits(y->dy, x->dy) && sameBits(y->dz, x->dz));
    EXPECT_EQ(memcmp(y->data, x->data, 7 * 6 * 5), 0);
    EXPECT_EQ(memcmp(y->cmap_r, x->cmap_r, 256), 0);
    EXPECT_EQ(memcmp(y->cmap_g, x->cmap_g, 256), 0);
    EXPECT_EQ(memcmp(y->cmap_b, x->cmap_b, 256), 0);
    EXPECT_EQ(countTempFiles("."), 0);
    freeXraw(y);
    freeXraw(x);
}

TEST(XrwSave, FileLayoutIsLittleEndianHeaderVoxelsColours)
{
    Xraw *x = makeXraw(3, 2, 1, 5);
    x->nx = 3;
    x->dx = -1.5f;
    std::string path = tmpPath("layout.xrw");
    strcpy(x->filename, path.c_str());
    ASSERT_EQ(saveXraw(x), 0);
    gzFile gz = gzopen(path.c_str(), "rb");
    ASSERT_NE(gz, nullptr);
    std::string content(2000, '\0');
    int got = gzread(gz, &content[0], (unsigned)content.size());
    gzclose(gz);
    content.resize(got > 0 ? got : 0);
    std::vector<unsigned char> vox(x->data, x->data + 6), cmap;
    cmap.insert(cmap.end(), x->cmap_r, x->cmap_r + 256);
    cmap.insert(cmap.end(), x->cmap_g, x->cmap_g + 256);
    cmap.insert(cmap.end(), x->cmap_b, x->cmap_b + 256);
    EXPECT_EQ(content, xrwContent(3, 2, 1, -1.5f, x->dy, x->dz, vox, cmap));
    freeXraw(x);
}

TEST(XrwSave, RefusesWhatItCannotWrite)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(saveXraw(nullptr), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Invalid xraw structure passed to saveXraw.\n");

    Xraw *x = makeXraw(2, 2, 2, 1);
    std::string path = tmpPath("nodata.xrw");
    strcpy(x->filename, path.c_str());
    unsigned char *data = x->data;
    x->data = nullptr;
    testing::internal::CaptureStderr();
    EXPECT_EQ(saveXraw(x), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Xraw structure passed to saveXraw has no voxel data.\n");
    EXPECT_NE(access(path.c_str(), F_OK), 0);
    x->data = data;

    x->nz = -2;
    testing::internal::CaptureStderr();
    EXPECT_EQ(saveXraw(x), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Invalid volume dimensions 2 x 2 x -2.\n");
    x->nz = 2;

    strcpy(x->filename, (tmpPath("missing_dir") + "/out.xrw").c_str());
    testing::internal::CaptureStderr();
    EXPECT_EQ(saveXraw(x), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unable to create xraw output file.\n");
    freeXraw(x);
}

TEST(XrwSave, FailedSaveKeepsTheExistingFile)
{
    std::string dir = tmpPath("keep");
    mkdir(dir.c_str(), 0755);
    std::string path = dir + "/keep.xrw";
    writeFile(path, "precious", false);

    // A volume that cannot be compressed, written under a file-size limit that
    // makes the write fail part-way (as a full disk would).
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim = {4096, 4096};
        setrlimit(RLIMIT_FSIZE, &lim);
        Xraw *x = makeXraw(64, 64, 16, 99);
        strcpy(x->filename, path.c_str());
        fclose(stderr);
        _exit(saveXraw(x) == -1 ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(readFile(path), "precious");
    EXPECT_EQ(countTempFiles(dir), 0);

    // A target that is a directory cannot be replaced; it stays as it was.
    std::string sub = dir + "/sub";
    mkdir(sub.c_str(), 0755);
    Xraw *x = makeXraw(2, 2, 2, 1);
    strcpy(x->filename, sub.c_str());
    testing::internal::CaptureStderr();
    EXPECT_EQ(saveXraw(x), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unable to replace xraw output file.\n");
    struct stat st;
    EXPECT_EQ(stat(sub.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(countTempFiles(dir), 0);
    freeXraw(x);
}

TEST(XrwSave, ReplacingKeepsTheFileMode)
{
    std::string path = tmpPath("mode.xrw");
    writeFile(path, "old", false);
    chmod(path.c_str(), 0640);
    Xraw *x = makeXraw(2, 3, 4, 8);
    strcpy(x->filename, path.c_str());
    ASSERT_EQ(saveXraw(x), 0);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    Xraw *y = loadXraw(path.c_str());
    ASSERT_NE(y, nullptr);
    EXPECT_EQ(memcmp(y->data, x->data, 24), 0);
    freeXraw(y);
    freeXraw(x);
}

TEST(XrwShow, ListsHeaderInFixedColumns)
{
    Xraw x;
    memset(&x, 0, sizeof x);
    strcpy(x.filename, "head.xrw");
    x.nx = 256;
    x.ny = 256;
    x.nz = 128;
    x.dx = x.dy = x.dz = 0.5f;
    testing::internal::CaptureStdout();
    showXraw(&x);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "XRW file: 'head.xrw'\n"
                                                      "volume dimensions:    256    256    128\n"
                                                      "      voxel sizes:  0.500  0.500  0.500\n"
                                                      "total volume size:  128.0  128.0   64.0\n");
}

} // namespace
