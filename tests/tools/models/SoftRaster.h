// A small software rasteriser for looking at the generated models without a device: flat
// shading from one directional light, nearest texture samples, a depth buffer, near-plane
// clipping, Direct3D's left-handed camera and clockwise front faces.
#pragma once

#include "support/TestSupport.h"
#include "tools/datagen/models/XModel.h"

#include <map>
#include <string>

namespace qvtest {

class CSoftRaster {
public:
    CSoftRaster(int width, int height, uint32_t clearRgb);

    // Camera: a look-at from `eye` towards `at`, field of view `fov` (radians, vertical).
    void SetCamera(xmodel::Vec3 eye, xmodel::Vec3 at, float fov = 0.7853982f, float nearZ = 0.1f, float farZ = 5000.0f);
    // Draws every mesh of the model in the pose (combined matrices as xmodel::Pose gives them).
    // Unlit draws show the texture (or diffuse colour) at full brightness. Back faces are
    // culled unless `twoSided`.
    void Draw(const xmodel::Model& model, const std::vector<xmodel::Mat4>& pose, bool lit = true, bool twoSided = true);

    const Image& Picture() const { return m_Image; }

private:
    struct Texture {
        int w = 0, h = 0;
        std::vector<uint8_t> rgba;
    };
    const Texture* LoadTexture(const std::string& path);
    void Triangle(const xmodel::Vec3 v[3], const std::array<float, 2> uv[3], float shade, const xmodel::Material& m,
                  const Texture* tex, bool twoSided);

    Image m_Image;
    std::vector<float> m_Depth;
    xmodel::Mat4 m_View;
    float m_Focal = 1, m_Near = 0.1f, m_Far = 5000;
    std::map<std::string, Texture> m_Textures;
};

} // namespace qvtest
