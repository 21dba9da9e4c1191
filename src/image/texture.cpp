#include "image/texture.h"

#include "image/image_file.h"

#include <string>
#include <utility>

TTexture& LoadTexture(const char* file_name, TTexture& texture, GLenum format)
{
    ImageError error = ImageError::kNone;
    BitmapPtr bitmap = ReadImageFile(file_name, &error);
    texture.loaded = bitmap ? Status::Ok()
                            : Status::Failure(std::string("cannot read texture '") + (file_name ? file_name : "") +
                                              "': " + ImageErrorText(error));
    return TextureFromBitmap(std::move(bitmap), texture, format);
}

TTexture& TextureFromBitmap(BitmapPtr bitmap, TTexture& texture, GLenum format)
{
    if (format == 0)
        format = bitmap && bitmap->has_alpha && bitmap->greyscale ? GL_LUMINANCE_ALPHA : GL_RGBA;
    // The placeholder has defined content: a missing sky shows black, not noise.
    static const uint32_t kPlaceholder = PackRGBA(0, 0, 0, 255);
    if (!bitmap)
        return CreateTexture(1, 1, texture, format, true, GL_RGBA, &kPlaceholder);
    return CreateTexture(bitmap->width, bitmap->height, texture, format, true, GL_RGBA, bitmap->pixels);
}

TTexture& CreateTexture(int width, int height, TTexture& texture, GLenum internal_format, bool mipmaps,
                        GLenum data_format, const void* pixels)
{
    texture.target = GL_TEXTURE_2D;
    texture.name.Create();
    texture.width = width;
    texture.height = height;
    if (!texture.name)
        return texture;
    glBindTexture(GL_TEXTURE_2D, texture.name);
    glTexImage2D(GL_TEXTURE_2D, 0, GLint(CGLES20ExtensionHandler::Texture_InternalFormat(internal_format, data_format)),
                 width, height, 0, data_format, GL_UNSIGNED_BYTE, pixels);
    // ES 2.0 samples a texture whose sides are not powers of two only
    // without mipmaps and clamped to its edges.
    const bool power_of_two = (width & (width - 1)) == 0 && (height & (height - 1)) == 0;
    if (!power_of_two && CGLES20ExtensionHandler::Is_ESContext()) {
        mipmaps = false;
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    GLint min_filter = GL_LINEAR;
    if (mipmaps) {
        glGenerateMipmap(GL_TEXTURE_2D);
        min_filter = GL_LINEAR_MIPMAP_LINEAR;
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, min_filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    // Every pending error is taken, so none is left for an unrelated caller.
    bool failed = false;
    while (glGetError() != GL_NO_ERROR)
        failed = true;
    if (failed)
        texture.name.Reset();
    return texture;
}

void DeleteTexture(TTexture& texture)
{
    texture.name.Reset();
}
