// Textures that the models name in their materials, as paths from the working directory (the
// form a .x material's TextureFilename takes), and their sizes. The model generator refers to
// these constants so that both sides agree.
#pragma once

namespace datagen {

// Sky dome or box: 512x256, repeats across, zenith at the top row, horizon at the bottom.
const char* const kTexSky = "data\\xfile\\sky.bmp";
// The opening's rolling grass land, 256x256, tiles.
const char* const kTexOpeningGround = "data\\xfile\\grass.bmp";
// The city's ground between the blocks: asphalt, 256x256, tiles.
const char* const kTexStageGround = "data\\xfile\\map\\ground.bmp";
// The street patch under a building: asphalt with white edge lines, 256x256, tiles.
const char* const kTexRoad = "data\\xfile\\map\\road.bmp";
// Paving slabs of a pavement or plaza, 256x256, tiles.
const char* const kTexPavement = "data\\xfile\\map\\pavement.bmp";
// Characters: skin, hair and clothes, 128x128 each, tiling fabric and skin.
const char* const kTexSkin = "data\\xfile\\skin.bmp";
const char* const kTexHair = "data\\xfile\\hair.bmp";
const char* const kTexClothRina = "data\\xfile\\cloth_rina.bmp";
const char* const kTexClothQuillabet = "data\\xfile\\cloth_quillabet.bmp";
const char* const kTexClothPhill = "data\\xfile\\cloth_phill.bmp";

} // namespace datagen
