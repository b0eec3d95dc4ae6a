// How the codecs' field rows read a file's tags and write a changed object
// back: through whole drawings, read and written as a user's would be.

#include <gtest/gtest.h>

#include <string>

#include "dxf/drawing.h"
#include "dxf/values.h"
#include "host/host.h"
#include "host/memory/memory_host.h"

namespace palvane::dxf {
namespace {

// An ASCII drawing of the given tables and entities, each a run of "code\nvalue\n" lines.
std::string Drawing(const std::string& entities, const std::string& layers = "") {
  std::string out = "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1027\n0\nENDSEC\n";
  if (!layers.empty()) {
    out += "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nLAYER\n5\n2\n70\n1\n" + layers +
           "0\nENDTAB\n0\nENDSEC\n";
  }
  return out + "0\nSECTION\n2\nENTITIES\n" + entities + "0\nENDSEC\n0\nEOF\n";
}

host::Ref<host::Document> Read(host::Application& app, const std::string& text) {
  host::Ref<host::Document> doc = ReadDrawing(app, text, "test.dxf");
  host::memory::Open(*doc);
  return doc;
}

template <class T>
host::Ref<T> First(host::Document& doc) {
  return doc.ModelSpace()->Item(0).As<T>();
}

// The tags of a written drawing's first entity of `type`, as "code=value" lines.
std::string TagsOf(const std::string& written, const std::string& type) {
  const size_t at = written.find("\n  0\n" + type + "\n");
  if (at == std::string::npos) return "";
  std::string out;
  size_t line = at + type.size() + 5;
  while (true) {
    const size_t code_end = written.find('\n', line + 1);
    const size_t value_end = written.find('\n', code_end + 1);
    std::string code = written.substr(line + 1, code_end - line - 1);
    code.erase(0, code.find_first_not_of(' '));
    if (code == "0") return out;
    out += code + "=" + written.substr(code_end + 1, value_end - code_end - 1) + "\n";
    line = value_end;
  }
}

const char* const kPolyline =
    "0\nLWPOLYLINE\n5\n40\n100\nAcDbEntity\n8\n0\n100\nAcDbPolyline\n90\n2\n70\n129\n"
    "10\n0\n20\n0\n10\n10\n20\n0\n";

TEST(FieldRowsTest, AChangedFlagKeepsTheFileOtherBits) {
  auto app = NewApplication();
  auto doc = Read(*app, Drawing(kPolyline));
  auto line = First<host::LWPolyline>(*doc);
  EXPECT_TRUE(line->Closed());
  line->SetClosed(false);
  const std::string tags = TagsOf(WriteDrawing(*doc), "LWPOLYLINE");
  // Bit 128 (linetype generation) stays; bit 1 (closed) goes.
  EXPECT_NE(tags.find("70=128\n"), std::string::npos) << tags;
}

TEST(FieldRowsTest, FieldsTheFileLackedAreWrittenWhereTheyBelong) {
  auto app = NewApplication();
  auto doc = Read(*app, Drawing(kPolyline));
  auto line = First<host::LWPolyline>(*doc);
  line->SetElevation(5);
  line->SetNormal({0, 0, -1});
  const std::string tags = TagsOf(WriteDrawing(*doc), "LWPOLYLINE");
  // The elevation before the vertices, the normal after everything.
  ASSERT_NE(tags.find("210="), std::string::npos) << tags;
  const size_t elevation = tags.find("38=5");
  ASSERT_NE(elevation, std::string::npos) << tags;
  EXPECT_LT(elevation, tags.find("\n10="));
  EXPECT_NE(tags.find("230=-1.0\n"), std::string::npos) << tags;
  EXPECT_GT(tags.find("210="), tags.rfind("\n20="));
  // Read back, the polyline is where it was put.
  auto again = Read(*app, WriteDrawing(*doc));
  auto back = First<host::LWPolyline>(*again);
  EXPECT_EQ(back->Elevation(), 5);
  EXPECT_EQ(back->Normal()[2], -1);
  EXPECT_TRUE(back->Closed());
}

TEST(FieldRowsTest, TheFirstTagOfACodeIsTheField) {
  auto app = NewApplication();
  // A second point in the entity's own tags belongs to no field.
  auto doc = Read(*app, Drawing("0\nPOINT\n5\n40\n8\n0\n10\n1\n20\n2\n30\n3\n10\n7\n20\n8\n"));
  const host::Point3 p = First<host::PointEntity>(*doc)->Coordinates();
  EXPECT_EQ(p, (host::Point3{1, 2, 3}));
  // Moved, the first is written anew and the second stays as it was.
  First<host::Entity>(*doc)->Move({0, 0, 0}, {1, 1, 0});
  const std::string tags = TagsOf(WriteDrawing(*doc), "POINT");
  EXPECT_NE(tags.find("10=2.0\n20=3.0\n30=3.0\n10=7\n20=8\n"), std::string::npos) << tags;
}

TEST(FieldRowsTest, ARotationReadsAsTheFileSpellsIt) {
  auto app = NewApplication();
  auto doc = Read(*app, Drawing("0\nINSERT\n5\n40\n8\n0\n2\nB\n10\n0\n20\n0\n30\n0\n50\n30\n"));
  // Degrees divided into radians, not multiplied by a reciprocal, which
  // rounds otherwise for a fifth of the half degrees.
  EXPECT_EQ(First<host::BlockReference>(*doc)->Rotation(), 30 / kDegrees);
}

TEST(FieldRowsTest, SingleLineTextIsPlacedByItsAlignment) {
  auto app = NewApplication();
  auto doc = Read(*app, Drawing("0\nTEXT\n5\n40\n8\n0\n100\nAcDbText\n10\n1\n20\n1\n30\n0\n"
                                "40\n2\n1\nXS 12\n72\n1\n11\n5\n21\n1\n31\n0\n100\nAcDbText\n"
                                "73\n3\n"));
  auto text = First<host::Text>(*doc);
  EXPECT_EQ(text->TextString(), "XS 12");
  EXPECT_EQ(text->Height(), 2);
  EXPECT_EQ(text->Alignment(), 7);  // top centre
  EXPECT_EQ(text->TextAlignmentPoint(), (host::Point3{5, 1, 0}));
  // Moved, both points move and every other tag stays.
  First<host::Entity>(*doc)->Move({0, 0, 0}, {1, 0, 0});
  const std::string tags = TagsOf(WriteDrawing(*doc), "TEXT");
  EXPECT_NE(tags.find("10=2.0\n20=1.0\n30=0.0\n40=2\n1=XS 12\n72=1\n11=6.0\n"), std::string::npos)
      << tags;
  EXPECT_NE(tags.find("73=3\n"), std::string::npos) << tags;

  // Text made here is written whole, left-aligned.
  doc->ModelSpace()->AddText("7", {3, 4, 0}, 1.5);
  auto back = Read(*app, WriteDrawing(*doc));
  auto again = back->ModelSpace()->Item(1).As<host::Text>();
  EXPECT_EQ(again->TextString(), "7");
  EXPECT_EQ(again->InsertionPoint(), (host::Point3{3, 4, 0}));
  EXPECT_EQ(again->Height(), 1.5);
  EXPECT_EQ(again->Alignment(), 0);
}

// Text in a plane of its own (seen from below: its normal points down) is
// placed in the world as the program gives it; moved, its own points move.
TEST(FieldRowsTest, MirroredTextIsPlacedInTheWorld) {
  auto app = NewApplication();
  auto doc = Read(*app, Drawing("0\nTEXT\n5\n40\n8\n0\n100\nAcDbText\n10\n5\n20\n2\n30\n0\n"
                                "40\n2\n1\n12\n210\n0\n220\n0\n230\n-1\n100\nAcDbText\n"));
  auto text = First<host::Text>(*doc);
  EXPECT_EQ(text->InsertionPoint(), (host::Point3{-5, 2, 0}));
  First<host::Entity>(*doc)->Move({0, 0, 0}, {1, 0, 0});
  EXPECT_EQ(text->InsertionPoint(), (host::Point3{-4, 2, 0}));
  const std::string tags = TagsOf(WriteDrawing(*doc), "TEXT");
  EXPECT_NE(tags.find("10=4.0\n20=2.0\n"), std::string::npos) << tags;
  EXPECT_NE(tags.find("230=-1\n"), std::string::npos) << tags;
}

// A tilted plane tells the two directions apart: read into the world, a
// move taken back into the text's own system, for both of its points.
TEST(FieldRowsTest, TextInATiltedPlaneIsPlacedInTheWorld) {
  auto app = NewApplication();
  auto doc = Read(*app, Drawing("0\nTEXT\n5\n40\n8\n0\n100\nAcDbText\n10\n5\n20\n2\n30\n0\n"
                                "40\n2\n1\n12\n72\n1\n11\n5\n21\n2\n31\n0\n"
                                "210\n0.6\n220\n0\n230\n0.8\n100\nAcDbText\n"));
  auto text = First<host::Text>(*doc);
  auto near = [](const host::Point3& a, const host::Point3& b) {
    return std::abs(a[0] - b[0]) < 1e-12 && std::abs(a[1] - b[1]) < 1e-12 &&
           std::abs(a[2] - b[2]) < 1e-12;
  };
  EXPECT_TRUE(near(text->InsertionPoint(), {-1.6, 5, 1.2}));
  EXPECT_TRUE(near(text->TextAlignmentPoint(), {-1.6, 5, 1.2}));
  First<host::Entity>(*doc)->Move({0, 0, 0}, {1, 0, 0});
  EXPECT_TRUE(near(text->InsertionPoint(), {-0.6, 5, 1.2}));
  const std::string tags = TagsOf(WriteDrawing(*doc), "TEXT");
  EXPECT_NE(tags.find("10=5.0\n20=1.2\n30=0.6"), std::string::npos) << tags;
  EXPECT_NE(tags.find("11=5.0\n21=1.2\n31=0.6"), std::string::npos) << tags;
}

// A layer record without flags gets them when it changes.
TEST(FieldRowsTest, ALayerWithoutFlagsKeepsItsLock) {
  auto app = NewApplication();
  auto doc = Read(*app, Drawing("", "0\nLAYER\n5\n10\n2\nBare\n62\n3\n"));
  doc->Layers()->Item("Bare")->SetLock(true);
  const std::string written = WriteDrawing(*doc);
  EXPECT_EQ(TagsOf(written, "LAYER"), "5=10\n2=Bare\n70=4\n62=3\n");
  EXPECT_TRUE(Read(*app, written)->Layers()->Item("Bare")->Lock());
}

TEST(FieldRowsTest, LayerColoursReadAsTheProgramReadsThem) {
  auto app = NewApplication();
  const std::string layers =
      "0\nLAYER\n5\n10\n2\nOff\n70\n0\n62\n-5\n390\nF\n"
      "0\nLAYER\n5\n11\n2\nZero\n70\n1\n62\n0\n"
      "0\nLAYER\n5\n12\n2\nHuge\n70\n0\n62\n-2147483648\n";
  auto doc = Read(*app, Drawing("", layers));
  auto off = doc->Layers()->Item("Off");
  EXPECT_FALSE(off->LayerOn());
  EXPECT_EQ(off->Color(), 5);
  auto zero = doc->Layers()->Item("Zero");
  EXPECT_EQ(zero->Color(), 7);
  EXPECT_TRUE(zero->Freeze());
  // A number beyond 16 bits is read as the 16-bit number nearest it.
  auto huge = doc->Layers()->Item("Huge");
  EXPECT_FALSE(huge->LayerOn());
  EXPECT_EQ(huge->Color(), 32768);

  // Changed, a layer keeps its other tags and writes its colour with the
  // sign that says it is off.
  off->SetColor(9);
  const std::string tags = TagsOf(WriteDrawing(*doc), "LAYER");
  EXPECT_EQ(tags, "5=10\n2=Off\n70=0\n62=-9\n390=F\n");
}

// A layer's flags: frozen and locked read and written, its other bits
// (frozen in new viewports, 2) kept.
TEST(FieldRowsTest, LayerFlagsKeepTheBitsTheHostDoesNotModel) {
  auto app = NewApplication();
  const std::string layers =
      "0\nLAYER\n5\n10\n2\nLocked\n70\n6\n62\n3\n"
      "0\nLAYER\n5\n11\n2\nOpen\n70\n1\n62\n4\n";
  auto doc = Read(*app, Drawing("", layers));
  auto locked = doc->Layers()->Item("Locked");
  EXPECT_TRUE(locked->Lock());
  EXPECT_FALSE(locked->Freeze());
  EXPECT_FALSE(doc->Layers()->Item("Open")->Lock());
  locked->SetLock(false);
  locked->SetFreeze(true);
  doc->Layers()->Item("Open")->SetLock(true);
  doc->Layers()->Add("New")->SetLock(true);
  const std::string written = WriteDrawing(*doc);
  EXPECT_EQ(TagsOf(written, "LAYER"), "5=10\n2=Locked\n70=3\n62=3\n");
  auto back = Read(*app, written);
  EXPECT_TRUE(back->Layers()->Item("Open")->Lock());
  EXPECT_TRUE(back->Layers()->Item("Open")->Freeze());
  EXPECT_TRUE(back->Layers()->Item("New")->Lock());
  EXPECT_FALSE(back->Layers()->Item("Locked")->Lock());
}

TEST(FieldRowsTest, NewObjectsOfEveryKindComeBackAsMade) {
  auto app = NewApplication();
  auto doc = app->Documents()->Add();
  auto space = doc->ModelSpace();
  auto line = space->AddLightWeightPolyline({0, 0, 10, 0, 10, 10});
  line->SetBulge(1, 0.5);
  line->SetWidth(0, 1, 2);
  line->SetClosed(true);
  line->SetElevation(2.5);
  space->AddPoint({1, 2, 3});
  const std::string text(600, 'x');
  space->AddMText({4, 5, 0}, 20, "Über " + text);
  auto block = doc->Blocks()->Add({0, 0, 0}, "Label");
  block->AddAttribute(2, 0, "Name?", {1, 1, 0}, "NAME", "none");
  space->InsertBlock({7, 8, 0}, "Label", 2, 3, 1, 0.5);
  auto ucs = doc->UserCoordinateSystems()->Add({1, 1, 0}, {2, 1, 0}, {1, 2, 0}, "Site");

  auto back = Read(*app, WriteDrawing(*doc));
  auto space2 = back->ModelSpace();
  auto line2 = space2->Item(0).As<host::LWPolyline>();
  EXPECT_EQ(line2->Coordinates(), (std::vector<double>{0, 0, 10, 0, 10, 10}));
  EXPECT_EQ(line2->GetBulge(1), 0.5);
  double start = 0, end = 0;
  line2->GetWidth(0, start, end);
  EXPECT_EQ(start, 1);
  EXPECT_EQ(end, 2);
  EXPECT_TRUE(line2->Closed());
  EXPECT_EQ(line2->Elevation(), 2.5);
  EXPECT_EQ(space2->Item(1).As<host::PointEntity>()->Coordinates(), (host::Point3{1, 2, 3}));
  auto mtext = space2->Item(2).As<host::MText>();
  EXPECT_EQ(mtext->TextString(), "Über " + text);
  EXPECT_EQ(mtext->Width(), 20);
  auto ref2 = space2->Item(3).As<host::BlockReference>();
  EXPECT_EQ(ref2->Name(), "Label");
  EXPECT_EQ(ref2->ScaleFactors(), (host::Point3{2, 3, 1}));
  EXPECT_NEAR(ref2->Rotation(), 0.5, 1e-12);
  ASSERT_EQ(ref2->GetAttributes().size(), 1u);
  EXPECT_EQ(ref2->GetAttributes()[0]->TagString(), "NAME");
  EXPECT_EQ(ref2->GetAttributes()[0]->TextString(), "none");
  auto definition = back->Blocks()->Item("Label")->Item(0).As<host::AttributeDefinition>();
  EXPECT_EQ(definition->PromptString(), "Name?");
  EXPECT_EQ(definition->TextString(), "none");
  ASSERT_EQ(back->UserCoordinateSystems()->Count(), 1);
  auto ucs2 = back->UserCoordinateSystems()->Item(0);
  EXPECT_EQ(ucs2->Name(), "Site");
  EXPECT_EQ(ucs2->Origin(), ucs->Origin());
  EXPECT_EQ(ucs2->XVector(), ucs->XVector());
}

}  // namespace
}  // namespace palvane::dxf
