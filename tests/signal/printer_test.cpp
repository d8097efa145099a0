// printer through the engine: the line format, the numbering shared by all
// printers of a loaded library across runs, and the second-run flag.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/testutil.h"

namespace {

namespace fs = std::filesystem;
using engine::Block;
using engine::Model;

// A private copy of the printer library, loaded afresh, so its counter
// starts at 0 whatever other tests did with the shared one.
std::shared_ptr<engine::Library> freshPrinterLibrary()
{
    static int copies = 0;
    const fs::path dir =
        fs::temp_directory_path() / ("printer-test-" + std::to_string(getpid()) + "-" + std::to_string(copies++));
    fs::create_directories(dir);
    const fs::path file = dir / ("printer" SIMBLOCKS_MEX_SUFFIX);
    fs::copy_file(testutil::libPath("printer"), file, fs::copy_options::overwrite_existing);
    std::shared_ptr<engine::Library> lib = engine::Library::load(file.string());
    std::error_code ec;  // the loaded copy stays mapped; Windows keeps its file, and the folder stays there
    fs::remove_all(dir, ec);
    return lib;
}

// One printer block in a model, fed from its own buffer.
struct Printer {
    Model &model;
    std::unique_ptr<Block> block;
    std::vector<double> in;

    Printer(Model &m, std::shared_ptr<engine::Library> lib, const std::string &name, int width, int outWidth = -1)
        : model(m), block(std::make_unique<Block>(m, std::move(lib), name)), in(static_cast<std::size_t>(width))
    {
        block->initializeSizes();
        block->setInputWidth(0, width);
        block->setOutputWidth(0, outWidth < 0 ? width : outWidth);
        block->allocate();
        for (int e = 0; e < width; ++e) block->connectInput(0, e, &in[e]);
        block->request(engine::kSampleTimes);
    }
    void initialize() { block->request(engine::kInitializeConditions); }
    uint32_T number() const { return *static_cast<const uint32_T *>(block->dwork(0)); }
    // The text one output call prints.
    std::string print(double t, const std::vector<double> &values)
    {
        for (std::size_t i = 0; i < in.size() && i < values.size(); ++i) in[i] = values[i];
        model.setTime(t);
        mxhost::PrintCapture capture;
        block->outputs();
        return capture.text();
    }
    std::vector<double> out() const
    {
        return std::vector<double>(block->output(0), block->output(0) + block->outputWidth(0));
    }
};

TEST(Printer, LineFormat)
{
    auto lib = freshPrinterLibrary();
    Model m;
    Printer first(m, lib, "p1", 1), second(m, lib, "p2", 2);
    first.initialize();
    second.initialize();
    EXPECT_EQ(second.print(0.5, {1.5, 20}), "--> print 2, time 0.5: 1.5 20 \n");
    EXPECT_EQ(second.out(), (std::vector<double>{1.5, 20}));
    EXPECT_EQ(first.print(0, {-3}), "--> print 1, time 0: -3 \n");
    EXPECT_EQ(first.print(1e-7, {0}), "--> print 1, time 1e-07: 0 \n");
    // Six significant digits, exponent form for large and small values.
    EXPECT_EQ(second.print(86400, {1234567, 1e-5}), "--> print 2, time 86400: 1.23457e+06 1e-05 \n");
    EXPECT_EQ(second.print(3.25e9, {-0.000123456789, 123456}), "--> print 2, time 3.25e+09: -0.000123457 123456 \n");
    // Every output call prints, unchanged values included.
    EXPECT_EQ(second.print(3.25e9, {-0.000123456789, 123456}), "--> print 2, time 3.25e+09: -0.000123457 123456 \n");
}

TEST(Printer, PassesEveryElementThrough)
{
    auto lib = freshPrinterLibrary();
    Model m;
    Printer p(m, lib, "p", 3);
    p.initialize();
    EXPECT_EQ(p.print(2, {7, -8.5, 1e300}), "--> print 1, time 2: 7 -8.5 1e+300 \n");
    EXPECT_EQ(p.out(), (std::vector<double>{7, -8.5, 1e300}));
}

TEST(Printer, NumbersContinueOnASecondRun)
{
    auto lib = freshPrinterLibrary();
    {
        Model m;
        Printer a(m, lib, "a", 1), b(m, lib, "b", 1);
        a.initialize();
        b.initialize();
        EXPECT_EQ(a.number(), 1u);
        EXPECT_EQ(b.number(), 2u);
        EXPECT_EQ(a.print(0, {1}), "--> print 1, time 0: 1 \n");
    }
    // The same model run again while the library stays loaded.
    Model m;
    Printer a(m, lib, "a", 1), b(m, lib, "b", 1);
    a.initialize();
    b.initialize();
    EXPECT_EQ(a.number(), 3u);
    EXPECT_EQ(b.number(), 4u);
    EXPECT_EQ(b.print(0, {1}), "--> print 4, time 0: 1 \n");
    // Each initialisation takes a new number.
    a.initialize();
    EXPECT_EQ(a.number(), 5u);
}

TEST(Printer, SecondRunFlagLeavesNumbersAlone)
{
    auto lib = freshPrinterLibrary();
    Model m;
    Printer a(m, lib, "a", 1), b(m, lib, "b", 1);
    a.initialize();
    EXPECT_EQ(a.number(), 1u);
    m.info().flags |= SS_MDL_FLAG_SECOND_RUN;
    a.initialize();
    b.initialize();
    EXPECT_EQ(a.number(), 1u);
    EXPECT_EQ(b.number(), 0u);
    m.info().flags &= ~SS_MDL_FLAG_SECOND_RUN;
    b.initialize();
    EXPECT_EQ(b.number(), 2u);  // the counter did not move while the bit was set
}

TEST(Printer, WithoutDWorkService)
{
    auto lib = freshPrinterLibrary();
    Model m;
    m.offerDWorkService(false);
    Printer p(m, lib, "p", 2);
    EXPECT_EQ(ssGetNumDWork(p.block->instance()), 0);
    p.initialize();
    EXPECT_EQ(p.print(1, {4, 5}), "--> print 0, time 1: 4 5 \n");
    EXPECT_EQ(p.out(), (std::vector<double>{4, 5}));
}

TEST(Printer, NarrowerOutputIsNotOverrun)
{
    auto lib = freshPrinterLibrary();
    Model m;
    Printer p(m, lib, "p", 3, 2);
    p.initialize();
    EXPECT_EQ(p.print(0, {1, 2, 3}), "--> print 1, time 0: 1 2 3 \n");
    EXPECT_EQ(p.out(), (std::vector<double>{1, 2}));
}

TEST(Printer, Declaration)
{
    Model m;
    Block b(m, testutil::library("printer"), "printer");
    b.initializeSizes();
    const std::vector<double> &sizes = b.sizesVector();
    EXPECT_EQ(sizes[7], 0);
    EXPECT_EQ(sizes[0], 0);
    EXPECT_EQ(sizes[1], 0);
    EXPECT_EQ(sizes[2], 1);
    EXPECT_EQ(sizes[3], 1);
    EXPECT_EQ(sizes[6], 1);
    EXPECT_EQ(sizes[23], 8192);
    EXPECT_EQ(b.inputWidth(0), DYNAMICALLY_SIZED);
    EXPECT_EQ(b.outputWidth(0), DYNAMICALLY_SIZED);
    EXPECT_TRUE(b.directFeedThrough(0));
    EXPECT_FALSE(b.requiredContiguous(0));
    const SimStruct *S = b.instance();
    ASSERT_EQ(ssGetNumDWork(S), 1);
    EXPECT_EQ(ssGetDWorkWidth(S, 0), 1);
    EXPECT_EQ(ssGetDWorkDataType(S, 0), 7);
    EXPECT_STREQ(ssGetDWorkName(S, 0), "DWORK_NPRINTER");
    EXPECT_EQ(ssGetDWorkUsageType(S, 0), 1);
    EXPECT_EQ(ssGetFlags(S) & 0xF80000u, 0x880000u);
    int made197 = 0;
    for (const engine::GenericRequest &r : m.requests())
        if (r.code == 197 && r.hasBool && r.boolValue) ++made197;
    EXPECT_EQ(made197, 1);
    b.setInputWidth(0, 1);
    b.setOutputWidth(0, 1);
    b.allocate();
    b.request(engine::kSampleTimes);
    EXPECT_EQ(b.sampleTime(0), 0.0);
    EXPECT_EQ(b.offsetTime(0), 0.0);
}

}  // namespace
