// Textures: GL textures made from images, for the scene objects, the screen
// copies and the font pages.
//
// Scene objects name their images by file ("clouds.png", "sub.png", ...) and
// call `LoadTexture`, which picks the decoder by extension (see
// image/image_file.h), uploads the picture as a mipmapped 2D texture and
// frees the bitmap. `CreateTexture` is the general constructor the rest of
// the program uses directly. The holder of a `TTexture` owns its GL texture
// and releases it with `DeleteTexture`. Every call needs the GL context
// current on the calling thread (the GLUT thread).
#pragma once

#include "gl/gles20.h"
#include "image/bitmap.h"

// A 2D texture held by a scene object.
struct TTexture {
    GLuint name = 0;               // 0 when there is no texture
    GLenum target = GL_TEXTURE_2D; // always GL_TEXTURE_2D
    int width = 0;                 // pixels
    int height = 0;                // pixels
};

// Decodes the file (by extension, with the PNG, TGA, JPEG fallback for an
// unknown one) and uploads it with mipmaps. A file that cannot be read
// still yields a 1 x 1 opaque black texture, and one line
// "warning: cannot read texture 'NAME'" goes to standard error.
// `format` 0 chooses the internal format from the image.
TTexture& LoadTexture(const char* file_name, TTexture& texture, GLenum format);

// Uploads the bitmap with mipmaps and destroys it. Format 0:
// GL_LUMINANCE_ALPHA for a grey image with alpha, GL_RGBA otherwise. A null
// bitmap gives the 1 x 1 placeholder.
TTexture& TextureFromBitmap(TBitmap* bitmap, TTexture& texture, GLenum format);

// Generates a texture, uploads level 0 from `pixels` (may be null) with
// GL_UNSIGNED_BYTE data, sets linear filtering (trilinear with mipmaps) and
// leaves it bound. A GL error leaves the name 0.
TTexture& CreateTexture(int width, int height, TTexture& texture, GLenum internal_format, bool mipmaps,
                        GLenum data_format, const void* pixels);

// Deletes the texture if it has a name, and sets the name to 0.
void DeleteTexture(TTexture& texture);
