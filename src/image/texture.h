// Textures: GL textures made from images, for the scene objects, the screen
// copies and the font pages.
//
// Scene objects name their images by file ("clouds.png", "sub.png", ...) and
// call `LoadTexture`, which picks the decoder by extension (see
// image/image_file.h), uploads the picture as a mipmapped 2D texture and
// frees the bitmap. `CreateTexture` is the general constructor the rest of
// the program uses directly. A `TTexture` owns its GL texture (a
// `GLTexture` handle, so it is move-only and deletes the texture when it
// goes); `texture.name` reads as the plain GLuint in draw code. Every call
// needs the GL context current on the calling thread (the GLUT thread).
#pragma once

#include "core/status.h"
#include "gl/gl_object.h"
#include "gl/gles20.h"
#include "image/bitmap.h"

// A 2D texture: the one record of a texture's name and size, whoever made
// it (the functions below, or a font's page builder).
struct TTexture {
    GLTexture name;                 // 0 when there is no texture
    GLenum target = GL_TEXTURE_2D;  // always GL_TEXTURE_2D
    int width = 0;                  // texels
    int height = 0;                 // texels
    // Failed with "cannot read texture 'NAME': REASON" when LoadTexture
    // fell back to the placeholder, for its holder's owner to report.
    Status loaded;
};

// Decodes the file (by extension; an unknown one is told by the first
// bytes) and uploads it with mipmaps. A file that cannot be read still
// yields a 1 x 1 opaque black texture, and `texture.loaded` says why.
// `format` 0 chooses the internal format from the image.
TTexture& LoadTexture(const char* file_name, TTexture& texture, GLenum format);

// Uploads the bitmap with mipmaps and frees it. Format 0:
// GL_LUMINANCE_ALPHA for a grey image with alpha, GL_RGBA otherwise. No
// bitmap gives the 1 x 1 placeholder.
TTexture& TextureFromBitmap(BitmapPtr bitmap, TTexture& texture, GLenum format);

// Makes a new texture (releasing the one held), uploads level 0 from
// `pixels` (may be null) with GL_UNSIGNED_BYTE data, sets linear filtering
// (trilinear with mipmaps) and leaves it bound. A GL error leaves the name 0.
TTexture& CreateTexture(int width, int height, TTexture& texture, GLenum internal_format, bool mipmaps,
                        GLenum data_format, const void* pixels);

// Deletes the texture if it has a name, and sets the name to 0.
void DeleteTexture(TTexture& texture);
