#include "tools/models/SoftRaster.h"

#include <stb_image.h>

#include <algorithm>
#include <cmath>

namespace qvtest {

using namespace xmodel;

CSoftRaster::CSoftRaster(int width, int height, uint32_t clearRgb)
{
    m_Image.width = width;
    m_Image.height = height;
    m_Image.rgba.resize(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0; i < m_Image.rgba.size(); i += 4) {
        m_Image.rgba[i] = static_cast<uint8_t>(clearRgb >> 16);
        m_Image.rgba[i + 1] = static_cast<uint8_t>(clearRgb >> 8);
        m_Image.rgba[i + 2] = static_cast<uint8_t>(clearRgb);
        m_Image.rgba[i + 3] = 255;
    }
    m_Depth.assign(static_cast<size_t>(width) * height, 1e30f);
}

void CSoftRaster::SetCamera(Vec3 eye, Vec3 at, float fov, float nearZ, float farZ)
{
    m_View = InverseAffine(CameraPlacement(eye, at, {0, 1, 0}));
    m_Focal = 1.0f / std::tan(fov * 0.5f);
    m_Near = nearZ;
    m_Far = farZ;
}

const CSoftRaster::Texture* CSoftRaster::LoadTexture(const std::string& path)
{
    if (path.empty())
        return nullptr;
    auto it = m_Textures.find(path);
    if (it == m_Textures.end()) {
        Texture t;
        int n = 0;
        std::string file = RunDir() + "/" + path;
        std::replace(file.begin(), file.end(), '\\', '/');
        if (unsigned char* data = stbi_load(file.c_str(), &t.w, &t.h, &n, 4)) {
            t.rgba.assign(data, data + static_cast<size_t>(t.w) * t.h * 4);
            stbi_image_free(data);
        }
        it = m_Textures.emplace(path, std::move(t)).first;
    }
    return it->second.rgba.empty() ? nullptr : &it->second;
}

void CSoftRaster::Draw(const Model& model, const std::vector<Mat4>& pose, bool lit, bool twoSided)
{
    const Vec3 toLight = Normalize(Vec3{-1, 1, -1});
    const auto frames = AllFrames(model);
    for (size_t fi = 0; fi < frames.size(); ++fi)
        for (const Mesh& mesh : frames[fi]->meshes) {
            const std::vector<Vec3> world = PosedPositions(model, pose, *frames[fi], mesh);
            for (size_t f = 0; f < mesh.faces.size(); ++f) {
                const auto& t = mesh.faces[f];
                const Vec3 w[3] = {world[t[0]], world[t[1]], world[t[2]]};
                const Vec3 n = Normalize(Cross(w[1] - w[0], w[2] - w[0]));
                const Material& m = mesh.materials[mesh.faceMaterials[f]];
                float shade = 1.0f;
                if (lit)
                    shade = std::min(1.0f, 0.3f + 0.7f * std::max(0.0f, Dot(n, toLight)) + m.emissive.x);
                const std::array<float, 2> uv[3] = {mesh.uvs[t[0]], mesh.uvs[t[1]], mesh.uvs[t[2]]};
                Vec3 v[3];
                for (int k = 0; k < 3; ++k)
                    v[k] = TransformPoint(w[k], m_View);
                Triangle(v, uv, shade, m, LoadTexture(m.texture), twoSided);
            }
        }
}

void CSoftRaster::Triangle(const Vec3 v[3], const std::array<float, 2> uv[3], float shade, const Material& m,
                           const Texture* tex, bool twoSided)
{
    // Clip against the near plane in view space.
    struct V {
        Vec3 p;
        float u, v;
    };
    std::vector<V> in = {{v[0], uv[0][0], uv[0][1]}, {v[1], uv[1][0], uv[1][1]}, {v[2], uv[2][0], uv[2][1]}}, poly;
    for (size_t i = 0; i < in.size(); ++i) {
        const V a = in[i], b = in[(i + 1) % in.size()];
        const bool ia = a.p.z >= m_Near, ib = b.p.z >= m_Near;
        if (ia)
            poly.push_back(a);
        if (ia != ib) {
            const float t = (m_Near - a.p.z) / (b.p.z - a.p.z);
            poly.push_back({Lerp(a.p, b.p, t), a.u + (b.u - a.u) * t, a.v + (b.v - a.v) * t});
        }
    }
    if (poly.size() < 3)
        return;
    const float W = static_cast<float>(m_Image.width), H = static_cast<float>(m_Image.height);
    const float aspect = W / H;
    struct S {
        float x, y, iz, uz, vz;
    };
    std::vector<S> s;
    for (const V& p : poly) {
        if (p.p.z > m_Far)
            return;
        const float iz = 1.0f / p.p.z;
        s.push_back({(p.p.x * m_Focal / aspect * iz * 0.5f + 0.5f) * W, (0.5f - p.p.y * m_Focal * iz * 0.5f) * H, iz,
                     p.u * iz, p.v * iz});
    }
    for (size_t k = 1; k + 1 < s.size(); ++k) {
        const S a = s[0], b = s[k], c = s[k + 1];
        // Screen y runs down: a positive area here is clockwise on the screen, a front face.
        const float area = (b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y);
        if (area == 0 || (!twoSided && area < 0))
            continue;
        const int x0 = std::max(0, static_cast<int>(std::floor(std::min({a.x, b.x, c.x}))));
        const int x1 = std::min(m_Image.width - 1, static_cast<int>(std::ceil(std::max({a.x, b.x, c.x}))));
        const int y0 = std::max(0, static_cast<int>(std::floor(std::min({a.y, b.y, c.y}))));
        const int y1 = std::min(m_Image.height - 1, static_cast<int>(std::ceil(std::max({a.y, b.y, c.y}))));
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                const float px = x + 0.5f, py = y + 0.5f;
                const float w0 = ((b.x - px) * (c.y - py) - (c.x - px) * (b.y - py)) / area;
                const float w1 = ((c.x - px) * (a.y - py) - (a.x - px) * (c.y - py)) / area;
                const float w2 = 1.0f - w0 - w1;
                if (w0 < 0 || w1 < 0 || w2 < 0)
                    continue;
                const float iz = w0 * a.iz + w1 * b.iz + w2 * c.iz;
                const float z = 1.0f / iz;
                float& depth = m_Depth[static_cast<size_t>(y) * m_Image.width + x];
                if (z >= depth)
                    continue;
                depth = z;
                float r = m.diffuse.r, g = m.diffuse.g, bl = m.diffuse.b;
                if (tex) {
                    const float u = (w0 * a.uz + w1 * b.uz + w2 * c.uz) * z, v = (w0 * a.vz + w1 * b.vz + w2 * c.vz) * z;
                    const int tx = ((static_cast<int>(std::floor(u * tex->w)) % tex->w) + tex->w) % tex->w;
                    const int ty = ((static_cast<int>(std::floor(v * tex->h)) % tex->h) + tex->h) % tex->h;
                    const uint8_t* t = &tex->rgba[(static_cast<size_t>(ty) * tex->w + tx) * 4];
                    r *= t[0] / 255.0f, g *= t[1] / 255.0f, bl *= t[2] / 255.0f;
                }
                uint8_t* o = m_Image.At(x, y);
                o[0] = static_cast<uint8_t>(std::lround(std::min(1.0f, r * shade) * 255));
                o[1] = static_cast<uint8_t>(std::lround(std::min(1.0f, g * shade) * 255));
                o[2] = static_cast<uint8_t>(std::lround(std::min(1.0f, bl * shade) * 255));
                o[3] = 255;
            }
    }
}

} // namespace qvtest
