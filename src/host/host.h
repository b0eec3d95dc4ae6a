#pragma once

// The drawing host: the CAD program's automation object model, as far as the
// operations use it. Every operation talks to a drawing only through these
// interfaces; an in-memory implementation serves the command line and the
// tests, and a COM adapter serves the CAD program itself. Member names and
// argument shapes follow the automation members, so that the adapter stays a
// thin translation. Every member may raise host::Error.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "host/ref.h"
#include "host/variant.h"

namespace palvane::host {

using Point3 = std::array<double, 3>;
using Point2 = std::array<double, 2>;

class Application;
class Document;

// Coordinate systems of TranslateCoordinates.
enum CoordinateSystem : int32_t { kWorld = 0, kUcs = 1, kObjectCs = 4 };
// Selection mode that selects the whole drawing.
constexpr int32_t kSelectionSetAll = 5;
// Regen of all viewports.
constexpr int32_t kAllViewports = 1;
// Zoom scale relative to the current view.
constexpr int32_t kZoomScaledRelative = 1;

// One application's extended entity data: parallel group codes and values.
// Item 0 is the 1001 application item. Both are empty when the object holds
// no data for the application asked for.
struct XData {
  std::vector<int16_t> codes;
  std::vector<Variant> values;
  bool empty() const { return codes.empty(); }
};

// Any object of a drawing: entities, layers, blocks, coordinate systems.
class Object {
 public:
  virtual ~Object() = default;
  virtual std::string Handle() = 0;
  virtual std::string ObjectName() = 0;
  virtual Ref<host::Document> Document() = 0;
  // The items of one registered application (all of them for an empty name).
  virtual XData GetXData(const std::string& app_name) = 0;
  // Replaces all data of the application named by the 1001 item 0.
  virtual void SetXData(const std::vector<int16_t>& codes, const std::vector<Variant>& values) = 0;
};

class Entity : public Object {
 public:
  virtual std::string Layer() = 0;
  virtual void SetLayer(const std::string& name) = 0;
  virtual int32_t Color() = 0;
  virtual void SetColor(int32_t color) = 0;
  virtual void Move(const Point3& from, const Point3& to) = 0;
  virtual void GetBoundingBox(Point3& min, Point3& max) = 0;
};

class LWPolyline : public Entity {
 public:
  // Flat X0, Y0, X1, Y1, ... in the polyline's own coordinate system.
  virtual std::vector<double> Coordinates() = 0;
  virtual Point2 Coordinate(int32_t index) = 0;
  virtual double GetBulge(int32_t index) = 0;
  virtual void SetBulge(int32_t index, double bulge) = 0;
  virtual void GetWidth(int32_t segment, double& start_width, double& end_width) = 0;
  virtual void SetWidth(int32_t segment, double start_width, double end_width) = 0;
  virtual bool Closed() = 0;
  virtual void SetClosed(bool closed) = 0;
  virtual double Elevation() = 0;
  virtual void SetElevation(double elevation) = 0;
  virtual Point3 Normal() = 0;
  virtual void SetNormal(const Point3& normal) = 0;
  virtual double Length() = 0;
};

class PointEntity : public Entity {
 public:
  virtual Point3 Coordinates() = 0;
};

// A straight line between two points in world coordinates.
class Line : public Entity {
 public:
  virtual Point3 StartPoint() = 0;
  virtual Point3 EndPoint() = 0;
};

// A polyline of the older, heavy form lying in a plane: vertices and bulges
// in its own coordinate system, as a lightweight polyline has them. The host
// only reads it.
class Polyline2D : public Entity {
 public:
  // Flat X0, Y0, X1, Y1, ... in the polyline's own coordinate system: the
  // vertices it passes through (a curve-fit polyline's fitted vertices).
  virtual std::vector<double> Coordinates() = 0;
  virtual double GetBulge(int32_t index) = 0;
  virtual bool Closed() = 0;
  virtual double Elevation() = 0;
  virtual Point3 Normal() = 0;
};

// A polyline of straight segments through points in space.
class Polyline3D : public Entity {
 public:
  // Flat X0, Y0, Z0, X1, Y1, Z1, ... in world coordinates.
  virtual std::vector<double> Coordinates() = 0;
  virtual bool Closed() = 0;
};

class MText : public Entity {
 public:
  virtual std::string TextString() = 0;
  virtual Point3 InsertionPoint() = 0;
  virtual double Width() = 0;
  virtual double Height() = 0;
  virtual void SetHeight(double height) = 0;
};

// A single line of text.
class Text : public Entity {
 public:
  virtual std::string TextString() = 0;
  // Where left-aligned text starts; text of another alignment is placed at
  // its alignment point.
  virtual Point3 InsertionPoint() = 0;
  virtual Point3 TextAlignmentPoint() = 0;
  // The alignment as the program numbers it: 0 left, 1 centre, 2 right,
  // 3 aligned, 4 middle, 5 fit, 6 to 14 top, middle and bottom, each left,
  // centre and right.
  virtual int32_t Alignment() = 0;
  virtual double Height() = 0;
};

class AttributeDefinition : public Entity {
 public:
  virtual std::string TagString() = 0;
  virtual std::string PromptString() = 0;
  virtual std::string TextString() = 0;  // the default value
  virtual Point3 InsertionPoint() = 0;
  virtual double Height() = 0;
  virtual int32_t Mode() = 0;
};

class Attribute : public Entity {
 public:
  virtual std::string TagString() = 0;
  virtual std::string TextString() = 0;
  virtual Point3 InsertionPoint() = 0;
  virtual double Height() = 0;
};

class BlockReference : public Entity {
 public:
  virtual std::string Name() = 0;
  virtual Point3 InsertionPoint() = 0;
  virtual Point3 ScaleFactors() = 0;
  virtual double Rotation() = 0;
  virtual std::vector<Ref<Attribute>> GetAttributes() = 0;
};

// A block definition; model space is the block "*Model_Space".
class Block : public Object {
 public:
  virtual std::string Name() = 0;
  virtual Point3 Origin() = 0;
  virtual int32_t Count() = 0;
  virtual Ref<Entity> Item(int32_t index) = 0;
  virtual Ref<LWPolyline> AddLightWeightPolyline(const std::vector<double>& vertices) = 0;
  virtual Ref<MText> AddMText(const Point3& insertion, double width, const std::string& text) = 0;
  virtual Ref<PointEntity> AddPoint(const Point3& point) = 0;
  virtual Ref<Line> AddLine(const Point3& start, const Point3& end) = 0;
  // Flat X, Y, Z triples in world coordinates, at least two points.
  virtual Ref<Polyline3D> Add3DPoly(const std::vector<double>& points) = 0;
  virtual Ref<Text> AddText(const std::string& text, const Point3& insertion, double height) = 0;
  virtual Ref<AttributeDefinition> AddAttribute(double height, int32_t mode,
                                                const std::string& prompt, const Point3& insertion,
                                                const std::string& tag,
                                                const std::string& value) = 0;
  virtual Ref<BlockReference> InsertBlock(const Point3& insertion, const std::string& name,
                                          double x_scale, double y_scale, double z_scale,
                                          double rotation) = 0;
};

class Blocks : public Object {
 public:
  virtual int32_t Count() = 0;
  virtual Ref<Block> Item(int32_t index) = 0;
  virtual Ref<Block> Item(const std::string& name) = 0;
  // An existing name returns the existing definition, unchanged.
  virtual Ref<Block> Add(const Point3& base, const std::string& name) = 0;
};

class Layer : public Object {
 public:
  virtual std::string Name() = 0;
  virtual void SetName(const std::string& name) = 0;
  virtual int32_t Color() = 0;
  virtual void SetColor(int32_t color) = 0;
  virtual bool Freeze() = 0;
  virtual void SetFreeze(bool frozen) = 0;
  virtual bool LayerOn() = 0;
  virtual void SetLayerOn(bool on) = 0;
  // A locked layer's entities cannot be changed.
  virtual bool Lock() = 0;
  virtual void SetLock(bool locked) = 0;
};

class Layers : public Object {
 public:
  virtual int32_t Count() = 0;
  virtual Ref<Layer> Item(int32_t index) = 0;
  // An absent name raises the key-not-found error.
  virtual Ref<Layer> Item(const std::string& name) = 0;
  // An existing name returns the existing layer.
  virtual Ref<Layer> Add(const std::string& name) = 0;
};

class UCS : public Object {
 public:
  virtual std::string Name() = 0;
  virtual Point3 Origin() = 0;
  virtual Point3 XVector() = 0;
  virtual Point3 YVector() = 0;
};

class UCSs : public Object {
 public:
  virtual int32_t Count() = 0;
  virtual Ref<UCS> Item(int32_t index) = 0;
  // Origin and two points (not vectors) on the X and Y axes, in world
  // coordinates. An existing name gets the new geometry.
  virtual Ref<UCS> Add(const Point3& origin, const Point3& x_axis_point, const Point3& y_axis_point,
                       const std::string& name) = 0;
};

// Settings of a viewport apply only when it is assigned back as the
// document's active viewport.
class Viewport : public Object {
 public:
  virtual Point3 Direction() = 0;
  virtual void SetDirection(const Point3& direction) = 0;
  virtual bool UCSIconOn() = 0;
  virtual void SetUCSIconOn(bool on) = 0;
  virtual bool UCSIconAtOrigin() = 0;
  virtual void SetUCSIconAtOrigin(bool at_origin) = 0;
};

class SelectionSet : public Object {
 public:
  virtual std::string Name() = 0;
  virtual int32_t Count() = 0;
  virtual Ref<Entity> Item(int32_t index) = 0;
  // Mode kSelectionSetAll with a filter of DXF group codes (0 entity type,
  // 8 layer name) and their values.
  virtual void Select(int32_t mode, const std::vector<int16_t>& filter_codes,
                      const std::vector<Variant>& filter_values) = 0;
  virtual void RemoveItems(const std::vector<Ref<Entity>>& entities) = 0;
  virtual void Delete() = 0;
};

class SelectionSets : public Object {
 public:
  virtual int32_t Count() = 0;
  virtual Ref<SelectionSet> Item(int32_t index) = 0;
  virtual Ref<SelectionSet> Item(const std::string& name) = 0;
  virtual Ref<SelectionSet> Add(const std::string& name) = 0;
};

class Utility {
 public:
  virtual ~Utility() = default;
  virtual Point3 TranslateCoordinates(const Point3& point, int32_t from, int32_t to,
                                      bool displacement, const Point3& ocs_normal) = 0;
  // Radians counter-clockwise from the X axis, from 0 up to 2 pi.
  virtual double AngleFromXAxis(const Point3& start, const Point3& end) = 0;
  virtual Point3 PolarPoint(const Point3& point, double angle, double distance) = 0;
};

class Document {
 public:
  virtual ~Document() = default;
  virtual std::string Name() = 0;
  virtual Ref<host::Application> Application() = 0;
  virtual Ref<host::Utility> Utility() = 0;
  virtual Ref<Block> ModelSpace() = 0;
  virtual Ref<host::Blocks> Blocks() = 0;
  virtual Ref<host::Layers> Layers() = 0;
  virtual Ref<UCSs> UserCoordinateSystems() = 0;
  virtual Ref<host::SelectionSets> SelectionSets() = 0;
  virtual Ref<Layer> ActiveLayer() = 0;
  virtual void SetActiveLayer(const Ref<Layer>& layer) = 0;
  virtual Ref<Viewport> ActiveViewport() = 0;
  virtual void SetActiveViewport(const Ref<Viewport>& viewport) = 0;
  virtual Ref<UCS> ActiveUCS() = 0;
  virtual void SetActiveUCS(const Ref<UCS>& ucs) = 0;
  // Copies entities that share one owner into `owner` (which may belong to
  // another drawing); the copies come back in the same order.
  virtual std::vector<Ref<Entity>> CopyObjects(const std::vector<Ref<Entity>>& objects,
                                               const Ref<Block>& owner) = 0;
  virtual Variant GetVariable(const std::string& name) = 0;
  virtual void SetVariable(const std::string& name, const Variant& value) = 0;
  virtual void Regen(int32_t which_viewports) = 0;
  virtual void Activate() = 0;
  virtual void PurgeAll() = 0;
};

class Documents {
 public:
  virtual ~Documents() = default;
  virtual int32_t Count() = 0;
  virtual Ref<Document> Item(int32_t index) = 0;
  virtual Ref<Document> Item(const std::string& name) = 0;
  // A new, empty drawing from the default template; it becomes active.
  virtual Ref<Document> Add() = 0;
};

class Application {
 public:
  virtual ~Application() = default;
  virtual Ref<host::Documents> Documents() = 0;
  virtual Ref<Document> ActiveDocument() = 0;
  virtual void ZoomExtents() = 0;
  virtual void ZoomScaled(double scale, int32_t scale_type) = 0;
};

}  // namespace palvane::host
