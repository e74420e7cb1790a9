#pragma once

#include <cstdint>
#include <string_view>

namespace httplib {
class Server;
}

namespace devserver {

// The picture of a seeded engineer that has one (see SeedData.h), at the photo path the login
// answers: GET /images/engineers/{EngineerNo}.png, a PNG of kEngineerPictureSide pixels square
// in kEngineerPictureColour with a white head and shoulders; 404 for any other engineer.
inline constexpr int kEngineerPictureSide = 120;
struct PictureColour {
    std::uint8_t r, g, b;
};
inline constexpr PictureColour kEngineerPictureColour{46, 125, 209};

bool ownsEngineerPicture(std::string_view path);
void registerEngineerPictures(httplib::Server& server);

}  // namespace devserver
