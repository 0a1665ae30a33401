#pragma once

class ISOCtrlPlugin;
class ISOImageObject;

// The measurement tool as the manager drives it: the graphic type the left button draws
// ("" for none).
class ISOGraphicTool {
 public:
  virtual void SetGraphicType(const char* type) = 0;

 protected:
  ~ISOGraphicTool() = default;
};

// The location-line tool as the manager and the image window drive it.
class ISOLocationTool {
 public:
  virtual bool SetLocationLine(ISOImageObject* reference) = 0;

 protected:
  ~ISOLocationTool() = default;
};

// The plug-ins a manager makes by name ("OVERINFO", "ORIENT", "RULER"); null for other names.
ISOCtrlPlugin* MakeNamedPlugin(const char* name);
