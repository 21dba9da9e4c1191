// Texture creation and loading on the headless context.
#include "image/texture.h"

#include "image/png_file.h"
#include "image/tga.h"

#include "image/image_test_util.h"
#include "support/gl_test.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <stdexcept>
#include <utility>

#include <vector>

using imagetest::MakePattern;

namespace {

[[noreturn]] void Throw(png_structp, png_const_charp message) { throw std::runtime_error(message); }

// A grey-and-alpha (colour type 4) PNG, which our writer never produces.
bool WriteGreyAlphaPng(const std::string& path, int w, int h)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, Throw, nullptr);
    png_infop info = png_create_info_struct(png);
    bool ok = true;
    try {
        png_init_io(png, f);
        png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        std::vector<png_byte> row(size_t(w) * 2, 77);
        for (int y = 0; y < h; ++y)
            png_write_row(png, row.data());
        png_write_end(png, info);
    } catch (const std::exception&) {
        ok = false;
    }
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0 && ok;
}

class TextureTest : public testsupport::GLTest {
protected:
    void SetUp() override
    {
        testsupport::GLTest::SetUp();
        ASSERT_NE(glGenerateMipmap, nullptr) << "GL entry points not loaded";
    }
    void TearDown() override
    {
        DeleteTexture(texture);
        testsupport::GLTest::TearDown();
    }
    GLint Level(GLenum what, int level = 0)
    {
        GLint v = -1;
        glBindTexture(GL_TEXTURE_2D, texture.name);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, level, what, &v);
        return v;
    }
    GLint MinFilter()
    {
        GLint v = -1;
        glBindTexture(GL_TEXTURE_2D, texture.name);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &v);
        return v;
    }
    std::vector<uint32_t> Texels(int count)
    {
        std::vector<uint32_t> t(static_cast<size_t>(count));
        glBindTexture(GL_TEXTURE_2D, texture.name);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, t.data());
        return t;
    }
    imagetest::ScratchDir dir;
    TTexture texture;
};

TEST_F(TextureTest, LoadedTextureKeepsPixelsAndHasMipmaps)
{
    BitmapPtr src = MakePattern(16, 8, false, true);
    const std::string path = dir.File("pic.png");
    ASSERT_TRUE(WritePNG(path.c_str(), src.get(), true));
    LoadTexture(path.c_str(), texture, 0);
    ASSERT_NE(texture.name, 0u);
    EXPECT_EQ(texture.target, GLenum(GL_TEXTURE_2D));
    EXPECT_EQ(texture.width, 16);
    EXPECT_EQ(texture.height, 8);
    EXPECT_EQ(MinFilter(), GL_LINEAR_MIPMAP_LINEAR);
    EXPECT_EQ(Level(GL_TEXTURE_WIDTH, 1), 8);  // level 1 was generated
    EXPECT_EQ(Level(GL_TEXTURE_WIDTH, 4), 1);
    const std::vector<uint32_t> texels = Texels(16 * 8);
    for (int i = 0; i < 16 * 8; ++i)
        ASSERT_EQ(texels[size_t(i)], src->pixels[i]) << i;
}

TEST_F(TextureTest, UnreadableFileGivesPlaceholderAndSaysWhy)
{
    const std::string path = dir.File("clouds.png");
    testing::internal::CaptureStderr();
    LoadTexture(path.c_str(), texture, GL_RGB);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "the library prints nothing";
    EXPECT_FALSE(texture.loaded);
    EXPECT_EQ(texture.loaded.reason, "cannot read texture '" + path + "': no such file");
    ASSERT_NE(texture.name, 0u);
    EXPECT_EQ(texture.width, 1);
    EXPECT_EQ(texture.height, 1);
    EXPECT_EQ(Level(GL_TEXTURE_WIDTH), 1);
    EXPECT_EQ(MinFilter(), GL_LINEAR_MIPMAP_LINEAR);
    EXPECT_EQ(Texels(1)[0], PackRGBA(0, 0, 0, 255));
}

TEST_F(TextureTest, FormatZeroFollowsGreyAndAlpha)
{
    const std::string path = dir.File("grey.png");
    ASSERT_TRUE(WriteGreyAlphaPng(path, 4, 4));
    LoadTexture(path.c_str(), texture, 0);
    ASSERT_NE(texture.name, 0u);
    EXPECT_GT(Level(GL_TEXTURE_LUMINANCE_SIZE), 0);
    EXPECT_EQ(Level(GL_TEXTURE_RED_SIZE), 0);
    DeleteTexture(texture);

    // A greyscale PNG without alpha becomes RGBA.
    ASSERT_TRUE(WritePNG(path.c_str(), MakePattern(4, 4, true, false).get(), true));
    LoadTexture(path.c_str(), texture, 0);
    ASSERT_NE(texture.name, 0u);
    EXPECT_GT(Level(GL_TEXTURE_RED_SIZE), 0);
    EXPECT_GT(Level(GL_TEXTURE_ALPHA_SIZE), 0);
    EXPECT_EQ(Level(GL_TEXTURE_LUMINANCE_SIZE), 0);
}

TEST_F(TextureTest, ExtensionlessFileFallsBackToTga)
{
    BitmapPtr src = MakePattern(3, 5, false, false);
    const std::string path = dir.File("noext");
    ASSERT_TRUE(WriteTGA(path.c_str(), src.get()));
    testing::internal::CaptureStderr();
    LoadTexture(path.c_str(), texture, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_NE(texture.name, 0u);
    EXPECT_EQ(texture.width, 3);
    EXPECT_EQ(texture.height, 5);
}

TEST_F(TextureTest, GlErrorLeavesNoNameAndNoPendingError)
{
    CreateTexture(4, 4, texture, 0x1234 /* not a format */, false, GL_RGBA, nullptr);
    EXPECT_EQ(texture.name, 0u);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    CreateTexture(-3, 4, texture, GL_RGBA, true, GL_RGBA, nullptr);
    EXPECT_EQ(texture.name, 0u);
}

TEST_F(TextureTest, PlainCreateUsesLinearFilteringAndDeleteZeroesName)
{
    CreateTexture(8, 8, texture, GL_RGBA, false, GL_RGBA, nullptr);
    ASSERT_NE(texture.name, 0u);
    EXPECT_EQ(MinFilter(), GL_LINEAR);
    const GLuint name = texture.name;
    DeleteTexture(texture);
    EXPECT_EQ(texture.name, 0u);
    EXPECT_EQ(glIsTexture(name), GLboolean(GL_FALSE));
    DeleteTexture(texture);  // no name: nothing happens
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TextureTest, TextureOwnsItsNameAndPassesItOnWhenMoved)
{
    CreateTexture(4, 4, texture, GL_RGBA, false, GL_RGBA, nullptr);
    const GLuint first = texture.name;
    ASSERT_NE(first, 0u);
    // Creating again in the same record releases the texture it held.
    CreateTexture(2, 2, texture, GL_RGBA, false, GL_RGBA, nullptr);
    const GLuint second = texture.name;
    ASSERT_NE(second, 0u);
    EXPECT_EQ(glIsTexture(first), GLboolean(GL_FALSE));
    {
        TTexture moved = std::move(texture);
        EXPECT_EQ(texture.name, 0u);
        EXPECT_EQ(moved.name, second);
        EXPECT_EQ(moved.width, 2);
        EXPECT_EQ(glIsTexture(second), GLboolean(GL_TRUE));
    }
    EXPECT_EQ(glIsTexture(second), GLboolean(GL_FALSE));  // gone with its holder
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TextureTest, BitmapIsUploadedFromItsOwningPointer)
{
    BitmapPtr grey = MakePattern(4, 2, true, true);
    const uint32_t first = grey->pixels[0];
    TextureFromBitmap(std::move(grey), texture, 0);
    ASSERT_NE(texture.name, 0u);
    EXPECT_EQ(texture.width, 4);
    EXPECT_GT(Level(GL_TEXTURE_LUMINANCE_SIZE), 0);  // grey with alpha chooses luminance-alpha
    EXPECT_EQ(Texels(8)[0] & 0xFF, first & 0xFF);
    TextureFromBitmap(nullptr, texture, 0);  // no bitmap: the placeholder
    EXPECT_EQ(texture.width, 1);
    EXPECT_EQ(Texels(1)[0], PackRGBA(0, 0, 0, 255));
}

}  // namespace
