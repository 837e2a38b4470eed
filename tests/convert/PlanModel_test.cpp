// The plan's model: flags, codes, the nearest-point index against a plain
// search, the point of a line, and the screen transform and scale texts.
#include "convert/PlanModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {
CSurveyPoint P(std::string name, std::string code, double e, double n, double z,
               size_t lineStart = 0) {
    return CSurveyPoint{std::move(name), std::move(code), e, n, z, lineStart};
}

CPlanModel Model(std::vector<CSurveyPoint> points, std::string_view text = {},
                 std::vector<size_t> unread = {}) {
    return CPlanModel(CSurveyPoints{ESurveyForm::kTerv210, std::move(points), std::move(unread)},
                      text);
}
}  // namespace

TEST(PlanModel, FlagsZeroAndDuplicatePointsAndCountsCodes) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const CPlanModel m = Model({
        P("A", "TREE", 10, 20, 1, 0),     // 0
        P("B", "", 0, 0, 0, 10),          // 1 zero
        P("A  ", "POLE", 12, 22, 1, 20),  // 2 same name as 0 once padding goes
        P("C", "TREE", 0, 0, 0.5, 30),    // 3 not exactly zero
        P("", "TREE", 0, 5, 0, 40),       // 4 no name: never a duplicate
        P("", "", 1, 1, 1, 50),           // 5
        P("D", "", nan, 3, 0, 60),        // 6 cannot be placed
        P("E", "", 1e13, 3, 0, 70),       // 7 nor this
    });
    const std::vector<uint8_t> flags = {kPlanDuplicate, kPlanZero,    kPlanDuplicate, 0, 0, 0,
                                        kPlanUnplaced,  kPlanUnplaced};
    for (size_t i = 0; i < flags.size(); ++i) EXPECT_EQ(m.Flags(i), flags[i]) << i;
    EXPECT_EQ(m.Flagged(), (std::vector<size_t>{0, 1, 2, 6, 7}));
    // The bounds take the zero point in and leave the unplaceable ones out.
    const auto& b = m.Bounds();
    EXPECT_TRUE(b.valid);
    EXPECT_EQ((std::vector<double>{b.minE, b.maxE, b.minN, b.maxN}),
              (std::vector<double>{0, 12, 0, 22}));
    // By count, the most first.
    std::string codes;
    for (const auto& c : m.Codes()) codes += c.code + ":" + std::to_string(c.count) + " ";
    EXPECT_EQ(codes, ":4 TREE:3 POLE:1 ");
    EXPECT_EQ(m.CodeOf(2), 2u);
    EXPECT_EQ(m.CodeOf(3), 1u);
    EXPECT_EQ(m.Nearest(1, 3, INFINITY), 5u);  // only placed points are found
    EXPECT_FALSE(Model({P("D", "", nan, 1, 1)}).Bounds().valid);
}

TEST(PlanModel, NearestAgreesWithAPlainSearch) {
    // A dense site, a far outlier and repeated places (the first read wins).
    std::mt19937 random(7);
    std::uniform_real_distribution<double> east(500000, 500800), north(3400000, 3400300);
    std::vector<CSurveyPoint> points;
    for (int i = 0; i < 30000; ++i) points.push_back(P("P", "", east(random), north(random), 0));
    points.push_back(P("Z", "", 0, 0, 0));
    points.push_back(points[100]);
    const CPlanModel m = Model(points);
    std::uniform_real_distribution<double> qe(499990, 500810), qn(3399990, 3400310);
    for (int q = 0; q < 200; ++q) {
        const double e = q == 0 ? points[100].e : qe(random),
                     n = q == 0 ? points[100].n : qn(random);
        const double limit = q % 3 == 0 ? INFINITY : 2.0;
        size_t best = CPlanModel::npos;
        double bestD = limit;
        for (size_t i = 0; i < points.size(); ++i) {
            const double d = std::hypot(points[i].e - e, points[i].n - n);
            if (d < bestD || (d <= bestD && best == CPlanModel::npos)) {
                bestD = d;
                best = i;
            }
        }
        ASSERT_EQ(m.Nearest(e, n, limit), best) << q;
    }
    EXPECT_EQ(m.Nearest(1, 1, 5), 30000u);  // the outlier at the origin
    EXPECT_EQ(m.Nearest(1, 1, 1), CPlanModel::npos);
    // All in one place, and a line of points without area.
    EXPECT_EQ(Model({P("a", "", 5, 5, 0), P("b", "", 5, 5, 0)}).Nearest(6, 6, 2), 0u);
    EXPECT_EQ(
        Model({P("a", "", 0, 1, 0), P("b", "", 0, 2, 0), P("c", "", 0, 3, 0)}).Nearest(0.1, 2.4, 1),
        1u);
}

TEST(PlanModel, LinesAsTheViewCountsThem) {
    // CR LF, a lone LF and a lone CR each end a line; a framed line holds
    // two records (both points start at that line).
    const std::string text = "a\r\nb\nc\rd\r\nframed\r\n\r\nlast";
    //                         0    3   5   7    10       18  20
    const CPlanModel m =
        Model({P("b", "", 1, 1, 0, 3), P("d", "", 2, 2, 0, 7), P("f1", "", 3, 3, 0, 10),
               P("f2", "", 4, 4, 0, 10), P("l", "", 5, 5, 0, 20)},
              text, {5, 18});
    EXPECT_EQ(m.LineCount(), 7u);
    const size_t starts[] = {0, 3, 5, 7, 10, 18, 20};
    for (size_t line = 0; line < 7; ++line) EXPECT_EQ(m.LineStart(line), starts[line]);
    EXPECT_EQ(m.LineStart(7), CPlanModel::npos);
    EXPECT_EQ(m.LineOf(4), 1u);
    EXPECT_EQ(m.LineOf(2), 0u);  // the LF of a CR LF belongs to its line
    EXPECT_EQ(m.LineOf(999), 6u);
    const size_t pointOnLine[] = {CPlanModel::npos, 0, CPlanModel::npos, 1, 2, CPlanModel::npos, 4};
    for (size_t line = 0; line < 7; ++line) EXPECT_EQ(m.PointOnLine(line), pointOnLine[line]);
    EXPECT_EQ(m.LineOfPoint(3), 4u);
    EXPECT_EQ(m.UnreadLines(), (std::vector<size_t>{2, 5}));
}

TEST(PlanGeometry, NorthUpEqualScaleZoomAndScaleTexts) {
    // 200 m east by 100 m north in 440 x 440 pixels with 20 pixels margin:
    // east sets the scale, 2 pixels per metre on both axes.
    const CPlanTransform t = FitPlan({1000, 5000, 1200, 5100, true}, 440, 440, 20);
    EXPECT_DOUBLE_EQ(t.scale, 2);
    EXPECT_DOUBLE_EQ(t.X(1000), 20);
    EXPECT_DOUBLE_EQ(t.X(1200), 420);
    EXPECT_DOUBLE_EQ(t.Y(5100), 120);  // north is up
    EXPECT_DOUBLE_EQ(t.Y(5000), 320);
    EXPECT_DOUBLE_EQ(t.E(t.X(1234.5)), 1234.5);
    EXPECT_DOUBLE_EQ(t.N(t.Y(5077.25)), 5077.25);
    CPlanTransform z = t;
    z.ZoomAbout(100, 300, 4);
    EXPECT_DOUBLE_EQ(z.scale, 8);
    EXPECT_NEAR(z.E(100), t.E(100), 1e-9);
    EXPECT_NEAR(z.N(300), t.N(300), 1e-9);
    z.ZoomAbout(0, 0, 1e30);
    EXPECT_EQ(z.scale, kPlanMaxScale);
    // One place, or nothing: 10 pixels per metre around it.
    const CPlanTransform one = FitPlan({7, 8, 7, 8, true}, 100, 50, 10);
    EXPECT_EQ(one.scale, 10);
    EXPECT_DOUBLE_EQ(one.X(7), 50);
    EXPECT_DOUBLE_EQ(one.Y(8), 25);
    const struct {
        double scale, maxPixels;
        double metres;
        const char* text;
    } bars[] = {
        {2, 120, 50, "50 m"},        {2, 99, 20, "20 m"},       {0.05, 100, 2000, "2 km"},
        {100, 100, 1, "1 m"},        {100, 60, 0.5, "0.5 m"},   {0.001, 100, 100000, "100 km"},
        {5000, 110, 0.02, "0.02 m"}, {9000, 50, 0.005, "5 mm"},
    };
    for (const auto& b : bars) {
        EXPECT_DOUBLE_EQ(ScaleBarMetres(b.scale, b.maxPixels), b.metres) << b.scale;
        EXPECT_EQ(ScaleBarText(b.metres), b.text);
    }
    // 600 dpi: a metre drawn as 600 dots is an inch of paper, 1:39.37
    EXPECT_EQ(PaperScaleText(600, 600), "1:39");
    EXPECT_EQ(PaperScaleText(600.0 / 25.4 / 2.5, 600), "1:2,500");  // 0.4 mm per metre
    EXPECT_EQ(GroupedCount(26567), "26,567");
    EXPECT_EQ(GroupedCount(1000000), "1,000,000");
}
