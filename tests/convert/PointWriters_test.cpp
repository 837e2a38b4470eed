// The export writers' bytes where no outside reader can judge them: NUL and
// other control bytes, the CSV's byte-order mark and code page, LandXML's
// northing-first order, numbers without an exponent.
#include "convert/PointWriters.h"

#include <gtest/gtest.h>

#include "convert/ViewCodec.h"

TEST(PointWriters, ControlBytesOrderAndEncodings) {
    using namespace std::string_literals;
    const std::vector<CSurveyPoint> points = {{"A\0B\x02<\x81"s, "", 1.5, 3400000, -3, 0}};
    const std::vector<CLonLat> lonLat = {{114.5, 30.25}};
    CPointWriteOptions options;
    options.lonLat = &lonLat;
    EXPECT_EQ(WritePoints(EPointFormat::kCsv, points, options),
              "\xEF\xBB\xBF点名,编码,E,N,Z\r\n\"A\0B\x02<\uFFFD\",,1.5,3400000,-3\r\n"s);
    options.gbk = true;
    EXPECT_EQ(WritePoints(EPointFormat::kCsv, points, options),
              Utf8ToGbk("点名,编码,E,N,Z\r\n") + "\"A\0B\x02<\x81\",,1.5,3400000,-3\r\n"s);
    const std::string json = WritePoints(EPointFormat::kGeoJson, points, options);
    EXPECT_NE(json.find("[114.500000000,30.250000000,-3]},\"properties\":{\"name\":"
                        "\"A\\u0000B\\u0002<\uFFFD\",\"code\":\"\"}"),
              std::string::npos)
        << json;
    EXPECT_NE(WritePoints(EPointFormat::kKml, points, options)
                  .find("<name>A\u2400B\u2402&lt;\uFFFD</name>"),
              std::string::npos);
    EXPECT_NE(WritePoints(EPointFormat::kLandXml, points, options)
                  .find("<CgPoint name=\"A\u2400B\u2402&lt;\uFFFD\">3400000 1.5 -3</CgPoint>"),
              std::string::npos);
    // Longitude and latitude are not made up when they are missing.
    options.lonLat = nullptr;
    EXPECT_EQ(WritePoints(EPointFormat::kKml, points, options), "");
}
