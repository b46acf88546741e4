#include "frames/ImagePlanes.h"

namespace frames {

void ImagePlanes::CreateLayerPlanes(int side) {
  LayerPlanes.clear();
  LayerPlanes.resize(21);
  for (auto& p : LayerPlanes) p.Create(side, side);
}

void PlaceProcessArea(ProcessArea& area, int width, int height) {
  area.left = 0;
  area.top = 0;
  area.width = area.limit;
  area.height = area.limit;
  if (width < area.limit) area.width = width;
  else area.left = (width - area.width) / 2;
  if (height < area.limit) area.height = height;
  else area.top = (height - area.height) / 2;
}

void AllocatePlanes(ImagePlanes& planes, int width, int height) {
  for (auto& p : planes.StackPlanes) p.Release();
  for (auto& p : planes.ColourPlanes) p.Release();
  planes.WaveletWorkPlane.Release();
  planes.CoveragePlane.Release();
  planes.OutputBitmap48.Release48();
  for (int c = 0; c < 3; ++c) {
    planes.StackPlanes[c].Create(width + 10, height + 10);
    planes.ColourPlanes[c].Create(width + 10, height + 10);
  }
  planes.StackPlanes[L].Create(width + 10, height + 10);
  planes.OutputBitmap48.Allocate48(width + 1, height + 1);
  planes.OutputBitmap48.bitsPerPixel = 48;
  planes.WaveletWorkPlane.Create(width + 10, height + 10);
  planes.CoveragePlane.Create(width + 10, height + 10);
  planes.width = width;
  planes.height = height;
}

}  // namespace frames
