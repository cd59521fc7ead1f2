#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/evaluation/evaluate.h"
#include "core/model/COxel.h"
#include "core/records/SystemError.h"
#include "support/FailingFileSystem.h"
#include "support/RecordingMessages.h"
#include "support/TempDir.h"
#include "support/TestEvaluationHost.h"

namespace {

using TestHost = TestEvaluationHost;

void confirmGrid(COxel &oxel, double X0, double Y0, double x1, double y1)
{
    oxel.init(X0, Y0, x1, y1);
    const auto lines = oxel.lines();
    for (std::size_t i = 0; i < COxel::kGridLineCount; ++i)
        lines[i]->Valid = true;
}

void setCircle(CCircle &circle, double x, double y, double r)
{
    circle.M.change(x, y);
    circle.r = r;
    circle.Valid = true;
}

void setRim(CEllipse &rim, CPoint M0, CPoint M1, CPoint M2, CPoint M3)
{
    rim.M0 = M0;
    rim.M1 = M1;
    rim.M2 = M2;
    rim.M3 = M3;
    rim.a = std::hypot(M1.x - M0.x, M1.y - M0.y);
    rim.b = std::hypot(M3.x - M0.x, M3.y - M0.y);
    rim.CosA = (M1.x - M0.x) / rim.a;
    rim.SinA = (M1.y - M0.y) / rim.a;
    rim.Valid = true;
}

// A left hip evaluated on its femoral head (type 1), with the rim standing for the cup. The
// picture is 2000 x 1600 px at 5 px/mm; the grid is a 1000-px square on a level base line.
void headBasedExample(COxel &oxel, const std::string &datFile)
{
    ASSERT_TRUE(oxel.initScale(2000, 1600, 400.0));
    confirmGrid(oxel, 400, 1200, 1400, 1200);
    setCircle(oxel.Head, 1250, 800, 80);
    setRim(oxel.Rim, {1260, 790}, {1340, 730}, {1180, 850}, {1284, 822});
    oxel.Datum = "20240115";
    CPatient &p = oxel.Patient;
    p.Famname = "Müller";
    p.Vorname = "Anna";
    p.Code = "S-17";
    p.Typ = typNumber(EvaluationType::HeadBased1);
    p.HeadTR = 14.0;
    p.CupTR = 18.0;
    p.FocH = 1150.0;
    p.DatFile = datFile;
}

// A right hip evaluated on its cup (type "7a": 7 with the SL flag), without a focus distance,
// with a tilted base line drawn from right to left and a ruler for the inclination.
void cupBasedExample(COxel &oxel, const std::string &datFile)
{
    ASSERT_TRUE(oxel.initScale(2400, 2400, 400.0));
    confirmGrid(oxel, 1600, 1250, 600, 1150);
    oxel.Ruler.init(500, 1700, 650, 1620);
    oxel.Ruler.Valid = true;
    setCircle(oxel.Head, 760, 1450, 99);
    setCircle(oxel.Cup, 700, 1500, 172.2);
    setRim(oxel.Rim, {705, 1495}, {841, 1393}, {569, 1597}, {741, 1543});
    oxel.Datum = "19991231";
    CPatient &p = oxel.Patient;
    p.Famname = "Okafor";
    p.Vorname = "Chidi";
    p.Code = "HIP-0042";
    p.Typ = typNumber(EvaluationType::CupBased7);
    p.SLFlag = true;
    p.HeadTR = 14.0;
    p.CupTR = 24.0;
    p.FocH = 0.0;
    p.DatFile = datFile;
}

std::string crlf(const std::vector<std::string> &lines)
{
    std::string out;
    for (const auto &line : lines)
        out += line + "\r\n";
    return out;
}

std::string header(const std::string &datFile)
{
    return "\"-------> OXEL DIGITAL 1995  File: " + datFile + ".dat\",#2026-12-07#";
}

// The expected blocks come from tests/reference/evaluation_reference.py, an implementation of
// the evaluation written apart from this one.
std::string headBasedBlock(const std::string &datFile)
{
    return crlf({
        header(datFile),
        "\"M\xFCller\",\"Anna\",\"S-17\"",
        "\"date of radiogram\",\"20240115\"",
        "\"side of replacement\",\"L\"",
        "\"head migration (cranial/medial)\",69.7933670478215,17.4911162406911",
        "\"cup migration (cranial/medial)\",71.538201224017,19.2402278647602",
        "\"cup inclination\",36.8698976458441,\"anteversion\",26.1374306984263",
        "\"beta1/cup axis\",21.0004468215858,\"-\",\"beta2/cup axis\",26.1374306984263,\"+\"",
        "\"antiparameter (head)\",104.533046808264,\"antiparameter (cup)\",102.79082936146",
        "\"delx1\",-50,\"delx2\",-150,\"delx3\",-200",
        "\"dely1\",100,\"dely2\",100,\"dely3\",200",
        "\"evaluation type\",1,\"SL-flag\",0",
        "\"not used\",0,0,\"wear x/y\",1.75,-1.75,\"radiofactor\",1.14285714285714",
    });
}

std::string cupBasedBlock(const std::string &datFile)
{
    return crlf({
        header(datFile),
        "\"Okafor\",\"Chidi\",\"HIP-0042\"",
        "\"date of radiogram\",\"19991231\"",
        "\"side of replacement\",\"R\"",
        "\"head migration (cranial/medial)\",39.3734473424382,8.66238252381021",
        "\"cup migration (cranial/medial)\",47.1372256916514,16.2852791447632",
        "\"cup inclination\",33.7830800733526,\"anteversion\",22.0433540234274",
        "\"beta1/cup axis\",22.0433540234274,\"+\",\"beta2/cup axis\",19.3363495890619,\"-\"",
        "\"antiparameter (head)\",100.146479942088,\"antiparameter (cup)\",92.4216825911833",
        "\"delx1\",-125.623445264011,\"delx2\",-41.8744817546703,\"delx3\",-167.497927018682",
        "\"dely1\",-83.7489635093408,\"dely2\",-83.7489635093407,\"dely3\",-167.497927018681",
        "\"evaluation type\",7,\"SL-flag\",1",
        "\"not used\",0,0,\"wear "
        "x/y\",7.62746278209749,7.76614392359017,\"radiofactor\",1.19583333333333",
    });
}

std::vector<std::string> lines(const std::string &bytes)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
        out.push_back(bytes.substr(start, end - start));
    return out;
}

class Evaluate : public ::testing::Test
{
protected:
    std::string datFile() const { return dir.file("patient"); }

    std::string resultPath() const { return datFile() + ".dat"; }

    std::string result() const { return readBytes(resultPath()); }

    bool resultExists() const { return std::filesystem::exists(resultPath()); }

    void expectRefusal(const std::string &text)
    {
        EXPECT_FALSE(evaluate(host));
        ASSERT_EQ(messages.boxes.size(), 1u);
        EXPECT_EQ(messages.boxes[0].text, text);
        EXPECT_EQ(messages.boxes[0].title, "Oxel Error");
        EXPECT_EQ(messages.boxes[0].icon, MessageIcon::Critical);
        EXPECT_FALSE(resultExists());
    }

    TempDir dir;
    RecordingMessages messages;
    TestHost host;
    COxel &oxel = host.measurement;
};

} // namespace

TEST_F(Evaluate, HeadBasedWorkedExample)
{
    headBasedExample(oxel, datFile());
    ASSERT_TRUE(evaluate(host));
    EXPECT_EQ(result(), headBasedBlock(datFile()));
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text, "Data written to " + resultPath());
    EXPECT_EQ(messages.boxes[0].title, "Oxel");
    EXPECT_EQ(messages.boxes[0].icon, MessageIcon::None);
    EXPECT_TRUE(messages.inputs.empty()); // the 36 mm cup agrees with the rim
    EXPECT_EQ(oxel.SinA, 0.0);
    EXPECT_EQ(oxel.CosA, 1.0);
    EXPECT_EQ(oxel.Center.x, 80.0);
    EXPECT_EQ(oxel.Center.y, 80.0);
}

TEST_F(Evaluate, RelativeResultFileIsTakenInTheHostsFolder)
{
    // The file is named as typed in the block and found from the picture's folder, not from
    // wherever the program was started.
    headBasedExample(oxel, "relative");
    host.folder = dir.file("");
    ASSERT_TRUE(evaluate(host));
    EXPECT_EQ(readBytes(dir.file("relative.dat")), headBasedBlock("relative"));
    EXPECT_FALSE(std::filesystem::exists("relative.dat"));
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text, "Data written to " + dir.file("relative.dat"));

    // A name with a folder of its own stays where it leads.
    messages.boxes.clear();
    oxel.Patient.DatFile = datFile();
    ASSERT_TRUE(evaluate(host));
    EXPECT_EQ(result(), headBasedBlock(datFile()));
}

TEST_F(Evaluate, CupBasedWorkedExampleWithoutFocusDistance)
{
    cupBasedExample(oxel, datFile());
    ASSERT_TRUE(evaluate(host));
    EXPECT_EQ(result(), cupBasedBlock(datFile()));
    EXPECT_EQ(oxel.Patient.FocH, 1100.0); // kept, and stored in the landmark file later
}

TEST_F(Evaluate, EveryRunAppendsABlockAndEarlierBytesStay)
{
    const std::string earlier = "written by an older version\r\n\"x\",1\r\n";
    writeBytes(resultPath(), earlier);
    headBasedExample(oxel, datFile());
    ASSERT_TRUE(evaluate(host));
    ASSERT_TRUE(evaluate(host));
    const std::string bytes = result();
    EXPECT_EQ(bytes, earlier + headBasedBlock(datFile()) + headBasedBlock(datFile()));
    EXPECT_EQ(lines(bytes).size(), 2u + 26u);
}

TEST_F(Evaluate, MeasurementLandmarksStayInPictureCoordinates)
{
    headBasedExample(oxel, datFile());
    ASSERT_TRUE(evaluate(host));
    EXPECT_EQ(oxel.H_B.P0.x, 400);
    EXPECT_EQ(oxel.Head.M.x, 1250);
    EXPECT_EQ(oxel.Rim.M3.y, 822);
}

TEST_F(Evaluate, LandmarkOnTheWrongSideOfTheFLineIsRefused)
{
    // Left hip: the F-Line (x = 1150 px) lies right of the V-M-Line; landmarks must lie right
    // of the F-Line. Each landmark in turn is put at the F-Line itself, which is not right of it.
    struct Case
    {
        void (*place)(COxel &);
        const char *message;
    };

    const Case cases[] = {
        {[](COxel &o) { o.Head.M.x = 1150; }, "vertical F-Line and Head on different sides!"},
        {[](COxel &o) { setCircle(o.Cup, 1100, 800, 90); },
            "vertical F-Line and Cup on different sides!"},
        {[](COxel &o) { o.Rim.M0.x = 1150; }, "vertical F-Line and Rim on different sides!"},
        {[](COxel &o) {
             o.Ruler.init(1000, 900, 1300, 800);
             o.Ruler.Valid = true;
         },
            "vertical F-Line and Ruler on different sides!"},
        {[](COxel &o) {
             o.Cross_V.init(1100, 700, 1100, 900);
             o.Cross_H.Valid = true;
         },
            "vertical F-Line and Cross on different sides!"},
    };
    for (const Case &c : cases) {
        TestHost local;
        RecordingMessages recorder;
        headBasedExample(local.measurement, datFile());
        c.place(local.measurement);
        EXPECT_FALSE(evaluate(local));
        ASSERT_EQ(recorder.boxes.size(), 1u);
        EXPECT_EQ(recorder.boxes[0].text, c.message);
        EXPECT_EQ(recorder.boxes[0].title, "Oxel Error");
    }
    EXPECT_FALSE(resultExists());
}

TEST_F(Evaluate, InvalidLandmarksAreNotSideChecked)
{
    headBasedExample(oxel, datFile());
    oxel.Cup.M.change(100, 100); // far on the wrong side, but never fitted
    oxel.Ruler.init(100, 100, 200, 100);
    ASSERT_TRUE(evaluate(host));
}

TEST_F(Evaluate, HeadBasedTypesNeedAFittedHead)
{
    headBasedExample(oxel, datFile());
    oxel.Patient.Typ = typNumber(EvaluationType::HeadBased9);
    oxel.Head.Valid = false;
    expectRefusal("head data missing\nuse Measurement Tool 'Head'");
}

TEST_F(Evaluate, MissingHeadSizeOpensThePatientDialog)
{
    headBasedExample(oxel, datFile());
    oxel.Patient.HeadTR = 0;
    EXPECT_FALSE(evaluate(host));
    EXPECT_EQ(host.patientRequests, std::vector<int>{0x20});
    EXPECT_TRUE(messages.boxes.empty());
    EXPECT_FALSE(resultExists());
}

TEST_F(Evaluate, CupBasedTypesNeedAFittedCupAndItsSize)
{
    for (EvaluationType type :
        {EvaluationType::CupBased6, EvaluationType::CupBased7, EvaluationType::CupBased8}) {
        TestHost local;
        RecordingMessages recorder;
        cupBasedExample(local.measurement, datFile());
        local.measurement.Patient.Typ = typNumber(type);
        local.measurement.Cup.Valid = false;
        EXPECT_FALSE(evaluate(local));
        ASSERT_EQ(recorder.boxes.size(), 1u);
        EXPECT_EQ(recorder.boxes[0].text, "cup data missing\nuse Measurement Tool 'Cup'");
    }
    cupBasedExample(oxel, datFile());
    oxel.Patient.CupTR = 0;
    EXPECT_FALSE(evaluate(host));
    EXPECT_EQ(host.patientRequests, std::vector<int>{0x40});
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(Evaluate, TypesThreeSixAndNineWriteTheZeroBetaLine)
{
    for (EvaluationType type :
        {EvaluationType::HeadBased3, EvaluationType::CupBased6, EvaluationType::HeadBased9}) {
        const std::int16_t typ = typNumber(type);
        TempDir own;
        TestHost local;
        RecordingMessages recorder;
        recorder.inputAnswers.push_back("ok"); // type 3 may ask about the cup diameter
        if (type == EvaluationType::CupBased6)
            cupBasedExample(local.measurement, own.file("p"));
        else
            headBasedExample(local.measurement, own.file("p"));
        local.measurement.Patient.Typ = typ;
        local.measurement.Patient.SLFlag = false;
        ASSERT_TRUE(evaluate(local)) << typ;
        const auto written = lines(readBytes(own.file("p.dat")));
        ASSERT_EQ(written.size(), 13u);
        EXPECT_EQ(written[7], "\"beta1/cup axis\",0,\"\",\"beta2/cup axis\",0,\"\"");
        EXPECT_EQ(written[11], "\"evaluation type\"," + std::to_string(typ) + ",\"SL-flag\",0");
        // An inclination without rim results.
        EXPECT_EQ(written[6].rfind("\"cup inclination\",", 0), 0u);
        EXPECT_NE(written[6].find(",\"nodata\",0"), std::string::npos);
    }
}

TEST_F(Evaluate, TypeSevenWithAndWithoutTheSlFlag)
{
    cupBasedExample(oxel, datFile());
    oxel.Patient.SLFlag = false;
    ASSERT_TRUE(evaluate(host));
    EXPECT_EQ(lines(result())[11], "\"evaluation type\",7,\"SL-flag\",0");
}

TEST_F(Evaluate, MissingFocusDistanceBecomes1100EvenWhenTheRunFails)
{
    cupBasedExample(oxel, datFile());
    oxel.Rim.M3.change(705 + 2000, 1495); // a second axis far longer than the first
    EXPECT_FALSE(evaluate(host));
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text, "wrong rim-points\nreset Rim!");
    EXPECT_EQ(oxel.Patient.FocH, 1100.0);
    EXPECT_FALSE(resultExists());
}

TEST_F(Evaluate, ImplausibleReferenceSphereIsRefused)
{
    headBasedExample(oxel, datFile());
    oxel.Head.r = 70; // 14 mm on the film: no larger than the true head
    expectRefusal("head size implausible!\ncheck the calibration and the head diameter");

    TestHost cupHost;
    RecordingMessages recorder;
    cupBasedExample(cupHost.measurement, datFile());
    cupHost.measurement.Cup.r = 0;
    EXPECT_FALSE(evaluate(cupHost));
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].text,
        "cup size implausible!\ncheck the calibration and the cup diameter");
}

TEST_F(Evaluate, TextsThatWouldBreakTheFileAreRefusedFirst)
{
    struct Case
    {
        void (*spoil)(COxel &);
        const char *label;
    };

    const Case cases[] = {
        {[](COxel &o) { o.Patient.Famname = "O\"Neil"; }, "Name"},
        {[](COxel &o) { o.Patient.Vorname = "Ann\nMarie"; }, "First Name"},
        {[](COxel &o) { o.Patient.Code = "S-17\r"; }, "Study - ID"},
        {[](COxel &o) { o.Datum = "2024\"01"; }, "Date"},
        {[](COxel &o) { o.Patient.DatFile += "\n"; }, "Data File"},
    };
    for (const Case &c : cases) {
        TestHost local;
        RecordingMessages recorder;
        headBasedExample(local.measurement, datFile());
        local.measurement.Patient.FocH = 0;
        c.spoil(local.measurement);
        EXPECT_FALSE(evaluate(local));
        ASSERT_EQ(recorder.boxes.size(), 1u);
        EXPECT_EQ(
            recorder.boxes[0].text, std::string("text not allowed in the result file: ") + c.label);
        EXPECT_EQ(recorder.boxes[0].title, "Oxel Error");
        // Refused before anything changed.
        EXPECT_EQ(local.measurement.CosA, 0.0);
        EXPECT_EQ(local.measurement.Patient.FocH, 0.0);
    }
    EXPECT_FALSE(resultExists());
}

TEST_F(Evaluate, ParallelMiddleLinesGiveNoBeamCentre)
{
    headBasedExample(oxel, datFile());
    oxel.V_M.init(400, 700, 1400, 700); // on top of the H-M-Line
    oxel.V_M.Valid = true;
    EXPECT_FALSE(evaluate(host));
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text, "Equation is singular!");
    EXPECT_FALSE(resultExists());
}

namespace {

// The calculated cup diameter of the plausibility check, from its definition.
double calculatedCupDiameter(double headRadiusMm, double headTR, double rimHalfAxisMm)
{
    const double k = std::sqrt((headRadiusMm * headRadiusMm + 1100.0 * 1100.0)
        / (rimHalfAxisMm * rimHalfAxisMm + 1100.0 * 1100.0));
    return 2 * headTR * rimHalfAxisMm * k / headRadiusMm + 0.6;
}

} // namespace

TEST_F(Evaluate, CupDiameterOutsideToleranceAsksTheOperator)
{
    // Head 16 mm on the film for a 28 mm head, rim half axis 20 mm: C = 35.598...
    const double C = calculatedCupDiameter(16, 14, 20);
    ASSERT_NEAR(C, 35.598, 0.001);

    headBasedExample(oxel, datFile());
    oxel.Patient.CupTR = 17.0; // 34 mm: C - 0.6 > 34
    EXPECT_FALSE(evaluate(host)); // the input box is cancelled
    ASSERT_EQ(messages.inputs.size(), 1u);
    EXPECT_EQ(messages.inputs[0].prompt,
        "cup-diameter too small!\ncontrast-wire maybe damaged\ncalculated cup-diameter = 35.60");
    EXPECT_EQ(messages.inputs[0].title, "Oxel2");
    EXPECT_EQ(messages.inputs[0].defaultText, "");
    EXPECT_FALSE(resultExists());

    oxel.Patient.CupTR = 18.5; // 37 mm: C + 0.6 < 37
    messages.inputAnswers.push_back(std::string());
    EXPECT_FALSE(evaluate(host)); // empty text counts as cancel
    ASSERT_EQ(messages.inputs.size(), 2u);
    EXPECT_EQ(messages.inputs[1].prompt, "cup-diameter too big!\ncalculated cup-diameter = 35.60");

    messages.inputAnswers.push_back("checked");
    EXPECT_TRUE(evaluate(host)); // any text confirms
    EXPECT_TRUE(resultExists());
}

TEST_F(Evaluate, CupDiameterCheckOnlyForTypesBelowFourWithARim)
{
    headBasedExample(oxel, datFile());
    oxel.Patient.CupTR = 10.0;
    oxel.Patient.Typ = typNumber(EvaluationType::HeadBased4);
    EXPECT_TRUE(evaluate(host));
    oxel.Patient.Typ = typNumber(EvaluationType::HeadBased3);
    EXPECT_FALSE(evaluate(host));
    EXPECT_EQ(messages.inputs.size(), 1u);
}

TEST_F(Evaluate, A44MillimetreCupLooksLargerByOnePointFour)
{
    // Rim half axis 24 mm: the calculated 42.59 mm is too small an estimate for a 44 mm cup
    // unless the 44 mm correction applies; a 46 mm cup gets no correction.
    headBasedExample(oxel, datFile());
    setRim(oxel.Rim, {1260, 790}, {1260 + 120, 790}, {1260 - 120, 790}, {1260, 790 + 40});
    const double C = calculatedCupDiameter(16, 14, 24);
    ASSERT_LT(C + 0.6, 44.0);
    ASSERT_LE(C + 1.4 - 0.6, 44.0);
    ASSERT_GE(C + 1.4 + 0.6, 44.0);
    oxel.Patient.CupTR = 22.0;
    EXPECT_TRUE(evaluate(host));
    EXPECT_TRUE(messages.inputs.empty());

    oxel.Patient.CupTR = 23.0;
    EXPECT_FALSE(evaluate(host));
    ASSERT_EQ(messages.inputs.size(), 1u);
    EXPECT_EQ(messages.inputs[0].prompt, "cup-diameter too big!\ncalculated cup-diameter = 42.59");
}

TEST_F(Evaluate, CupValuesComeFromTheRimBeforeTheCross)
{
    headBasedExample(oxel, datFile());
    oxel.Cross_H.init(1200, 700, 1400, 700);
    oxel.Cross_V.init(1300, 600, 1300, 800);
    oxel.Cross_H.Valid = true;
    ASSERT_TRUE(evaluate(host));
    const auto withRim = lines(result());
    EXPECT_EQ(withRim[5], "\"cup migration (cranial/medial)\",71.538201224017,19.2402278647602");

    oxel.Rim.Valid = false;
    ASSERT_TRUE(evaluate(host));
    const auto withCross = lines(result());
    ASSERT_EQ(withCross.size(), 26u);
    EXPECT_NE(withCross[13 + 5], withRim[5]);
    EXPECT_EQ(withCross[13 + 5].rfind("\"cup migration (cranial/medial)\",", 0), 0u);
    // Without rim and ruler there is no inclination; the wear is taken against the cross.
    EXPECT_EQ(withCross[13 + 6], "\"nodata\",0,\"nodata\",0");
    EXPECT_EQ(withCross[13 + 7], "\"beta1/cup axis\",0,\"\",\"beta2/cup axis\",0,\"\"");
    // Head (170, 80) mm, cross point (180, 100) mm in the frame, left hip.
    EXPECT_EQ(withCross[13 + 12].rfind("\"not used\",0,0,\"wear x/y\",8.75,-17.5,", 0), 0u);
}

TEST_F(Evaluate, WithoutRimOrCrossTheCupHasNoData)
{
    headBasedExample(oxel, datFile());
    oxel.Rim.Valid = false;
    ASSERT_TRUE(evaluate(host));
    const auto written = lines(result());
    EXPECT_EQ(written[5], "\"nodata\",0,0");
    EXPECT_EQ(written[8], "\"antiparameter (head)\",104.533046808264,\"antiparameter (cup)\",0");
    EXPECT_EQ(written[12], "\"not used\",0,0,\"nodata\",0,0,\"radiofactor\",1.14285714285714");
}

TEST_F(Evaluate, CupBasedWithoutHeadStillWrites)
{
    cupBasedExample(oxel, datFile());
    oxel.Head.Valid = false;
    ASSERT_TRUE(evaluate(host));
    const auto written = lines(result());
    EXPECT_EQ(written[4], "\"nodata\",0,0");
    EXPECT_EQ(written[8].rfind("\"antiparameter (head)\",0,", 0), 0u);
    EXPECT_EQ(written[12].rfind("\"not used\",0,0,\"nodata\",0,0,", 0), 0u);
}

TEST_F(Evaluate, ResultFileThatCannotBeWrittenIsReportedAndLeftAlone)
{
    headBasedExample(oxel, dir.file("no-such-folder/patient"));
    EXPECT_FALSE(evaluate(host));
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text.rfind(
                  "could not write " + dir.file("no-such-folder/patient.dat") + ": ", 0),
        0u);
    EXPECT_EQ(messages.boxes[0].title, "Oxel Error");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "no-such-folder"));
}

TEST_F(Evaluate, FullDiskLeavesTheResultFileUnchanged)
{
    std::filesystem::create_symlink("/dev/full", resultPath());
    headBasedExample(oxel, datFile());
    EXPECT_FALSE(evaluate(host));
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(
        messages.boxes[0].text, "could not write " + resultPath() + ": No space left on device");
    EXPECT_TRUE(std::filesystem::is_symlink(resultPath()));
}

TEST_F(Evaluate, ReadOnlyFolderLeavesTheResultFileUnchanged)
{
    if (runningAsRoot())
        GTEST_SKIP() << "root writes into read-only folders; run as another user to check this";
    const std::string earlier = "\"an earlier block\"\r\n";
    writeBytes(resultPath(), earlier);
    std::filesystem::permissions(resultPath(), std::filesystem::perms::owner_read);
    std::filesystem::permissions(
        dir.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    headBasedExample(oxel, datFile());
    EXPECT_FALSE(evaluate(host));
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text.rfind("could not write ", 0), 0u);
    EXPECT_EQ(result(), earlier);
}

TEST(WriteDataChecks, MissingPatientDataAreNamed)
{
    COxel oxel;
    EXPECT_EQ(missingPatientData(oxel), 0x1 | 0x2 | 0x4 | 0x10 | 0x100);
    oxel.Datum = "20240101";
    oxel.Patient.Famname = "A";
    oxel.Patient.Vorname = "B";
    oxel.Patient.DatFile = "x";
    oxel.Patient.Typ = typNumber(EvaluationType::HeadBased1);
    EXPECT_EQ(missingPatientData(oxel), 0); // the study identifier is not required
    oxel.Patient.Typ = 0; // none chosen
    EXPECT_EQ(missingPatientData(oxel), 0x10);
    oxel.Patient.Typ = -3; // as a damaged landmark file may hold it
    EXPECT_EQ(missingPatientData(oxel), 0x10);
    EXPECT_EQ(missingItemNames(0x1 | 0x10 | 0x100),
        (std::vector<std::string>{"Date", "Evaluation Type", "Data File"}));
}

TEST_F(Evaluate, AThousandRunsAppendAThousandWholeBlocks)
{
    headBasedExample(oxel, datFile());
    for (int run = 0; run < 1000; ++run)
        ASSERT_TRUE(evaluate(host)) << run;
    const auto written = lines(result());
    ASSERT_EQ(written.size(), 13000u);
    const auto block = lines(headBasedBlock(datFile()));
    for (std::size_t i = 0; i < written.size(); ++i)
        ASSERT_EQ(written[i], block[i % 13]) << "line " << i;
}

TEST_F(Evaluate, EveryFailingCallOfTheAppendIsToldNamingTheFileAndTheReason)
{
    const std::string earlier = "written by an older version\r\n\"x\",1\r\n";
    headBasedExample(oxel, datFile());
    for (int n = 1;; ++n) {
        SCOPED_TRACE("call " + std::to_string(n) + " fails");
        writeBytes(resultPath(), earlier);
        messages.boxes.clear();
        FailingFileSystem failing(n, ENOSPC);
        bool written = false;
        {
            const ScopedFileSystem seam(failing);
            written = evaluate(host);
        }
        ASSERT_EQ(messages.boxes.size(), 1u);
        if (!failing.fired) {
            EXPECT_TRUE(written);
            EXPECT_EQ(result(), earlier + headBasedBlock(datFile()));
            EXPECT_GE(n, 4); // open, lock, write and flush at the least
            break;
        }
        // The closing of a file whose block is already on the disk changes nothing.
        if (written) {
            EXPECT_EQ(result(), earlier + headBasedBlock(datFile()));
            continue;
        }
        EXPECT_EQ(result(), earlier);
        const std::string &told = messages.boxes[0].text;
        EXPECT_EQ(told.rfind("could not write " + resultPath() + ": ", 0), 0u) << told;
        EXPECT_NE(told.find(systemErrorText(ENOSPC)), std::string::npos) << told;
        EXPECT_EQ(messages.boxes[0].icon, MessageIcon::Critical);
    }
}

TEST_F(Evaluate, DesignedValuesWithoutWritingAreTheWrittenOnes)
{
    headBasedExample(oxel, datFile());
    const auto block = designedEvaluation(host);
    ASSERT_TRUE(block);
    EXPECT_FALSE(resultExists());
    EXPECT_TRUE(messages.boxes.empty());
    // The worked example's written values.
    EXPECT_NEAR(block->head.cranial, 69.7933670478215, 1e-12);
    EXPECT_NEAR(block->head.medial, 17.4911162406911, 1e-12);
    EXPECT_NEAR(block->cup.antiparameter, 102.79082936146, 1e-11);
    ASSERT_TRUE(block->inclination && block->rim);
    EXPECT_NEAR(*block->inclination, 36.8698976458441, 1e-12);
    EXPECT_NEAR(block->rim->anteversion, 26.1374306984263, 1e-12);

    // A refusal is told as evaluate tells it.
    oxel.Head.Valid = false;
    EXPECT_FALSE(designedEvaluation(host));
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text, "head data missing\nuse Measurement Tool 'Head'");
    EXPECT_FALSE(resultExists());
}
