#include <string>

#include <gtest/gtest.h>

#include "core/series/SeriesCsv.h"

namespace {

// Four blocks of one left hip as the file holds them (Windows-1252): the first radiograph
// evaluated twice, a second one four years (1461 days) later, and a cup-based evaluation whose
// date is not a day. The name holds a comma, quotes and a character beyond ASCII.
std::string block(const char *written, const char *datum, const char *head, const char *cup,
    const char *orientation, const char *rim, const char *antiparameterHead, const char *type,
    const char *wear)
{
    return std::string("\"-------> OXEL DIGITAL 1995  File: M\xfcller.dat\",#") + written
        + "#\r\n"
          "\"M\xfcller, \"Jo\"\",\"Ann\",\"S1\"\r\n"
          "\"date of radiogram\",\""
        + datum
        + "\"\r\n"
          "\"side of replacement\",\"L\"\r\n"
        + head + "\r\n" + cup + "\r\n" + orientation + "\r\n" + rim
        + "\r\n"
          "\"antiparameter (head)\","
        + antiparameterHead
        + ",\"antiparameter (cup)\",2.5\r\n"
          "\"delx1\",1,\"delx2\",2,\"delx3\",3\r\n"
          "\"dely1\",4,\"dely2\",5,\"dely3\",6\r\n"
          "\"evaluation type\","
        + type + "\r\n\"not used\",0,0," + wear + ",\"radiofactor\",1.05\r\n";
}

const char *const kNoRim = "\"beta1/cup axis\",0,\"\",\"beta2/cup axis\",0,\"\"";

} // namespace

TEST(SeriesCsvFormat, KnownFileAsWrittenByHand)
{
    const std::string bytes =
        block("2000-01-05", "20000101", "\"nodata\",0,0", "\"cup migration (cranial/medial)\",9,3",
            "\"cup inclination\",40,\"nodata\",0", kNoRim, "0", "2,\"SL-flag\",0", "\"nodata\",0,0")
        + block("2000-01-06", "20000101", "\"nodata\",0,0",
            "\"cup migration (cranial/medial)\",10.5,3.25",
            "\"cup inclination\",40,\"anteversion\",10",
            "\"beta1/cup axis\",10,\"+\",\"beta2/cup axis\",20,\"-\"", "0", "2,\"SL-flag\",0",
            "\"wear x/y\",0,0")
        + block("2004-01-02", "20040101", "\"nodata\",0,0",
            "\"cup migration (cranial/medial)\",11.5,3",
            "\"cup inclination\",41,\"anteversion\",11",
            "\"beta1/cup axis\",11,\"+\",\"beta2/cup axis\",21,\"-\"", "0", "2,\"SL-flag\",0",
            "\"wear x/y\",0.75,1")
        + block("2006-01-03", "01.01.2006", "\"head migration (cranial/medial)\",0.5,1.5",
            "\"cup migration (cranial/medial)\",12,2", "\"nodata\",0,\"nodata\",0", kNoRim, "7",
            "8,\"SL-flag\",1", "\"nodata\",0,0");

    SeriesFile file;
    file.path = "p, 1.dat";
    file.contents = ResultFileReader::parse(bytes);
    ASSERT_TRUE(file.contents.problems.empty()) << file.contents.problems[0].reason;
    file.series = SeriesBuilder::build(file.contents.entries);

    const std::string expected =
        "file,line,current,family_name,first_name,study_id,side,radiograph_date,written,type,"
        "sl_flag,head_cranial,head_medial,cup_cranial,cup_medial,inclination,anteversion,beta1,"
        "sign1,beta2,sign2,antiparameter_head,antiparameter_cup,delx1,delx2,delx3,dely1,dely2,"
        "dely3,wear_x,wear_y,radiofactor,years,head_cranial_change,head_medial_change,"
        "cup_cranial_change,cup_medial_change,inclination_change,anteversion_change,"
        "wear_x_change,wear_y_change,wear_change_length,head_cranial_per_year,"
        "head_medial_per_year,cup_cranial_per_year,cup_medial_per_year,inclination_per_year,"
        "anteversion_per_year,wear_per_year,comparable,remark\r\n"
        "\"p, 1.dat\",1,0,\"Müller, \"\"Jo\"\"\",Ann,S1,L,2000-01-01,2000-01-05,2,0,,,9,3,40,,,,,,,"
        "2.5,1,2,3,4,5,6,,,1.05,,,,,,,,,,,,,,,,,,,\r\n"
        "\"p, 1.dat\",14,1,\"Müller, \"\"Jo\"\"\",Ann,S1,L,2000-01-01,2000-01-06,2,0,,,10.5,3.25,"
        "40,10,10,+,20,-,,2.5,1,2,3,4,5,6,0,0,1.05,0,,,0,0,0,0,0,0,0,,,,,,,,1,\r\n"
        "\"p, 1.dat\",27,1,\"Müller, \"\"Jo\"\"\",Ann,S1,L,2004-01-01,2004-01-02,2,0,,,11.5,3,41,"
        "11,11,+,21,-,,2.5,1,2,3,4,5,6,0.75,1,1.05,4,,,1,-0.25,1,1,0.75,1,1.25,,,0.25,-0.0625,"
        "0.25,0.25,0.3125,1,\r\n"
        "\"p, 1.dat\",40,1,\"Müller, \"\"Jo\"\"\",Ann,S1,L,01.01.2006,2006-01-03,8,1,0.5,1.5,12,2,"
        ",,,,,,7,2.5,1,2,3,4,5,6,,,1.05,,,,,,,,,,,,,,,,,,0,\"cup-based evaluation, baseline "
        "head-based: migration and wear not compared; the date of the radiograph "
        "\"\"01.01.2006\"\" "
        "is not a day of the calendar: no years or rates\"\r\n";
    EXPECT_EQ(SeriesCsv::format({file}), expected);
}
