#include "dataset/dive_dataset.h"

#include <algorithm>
#include <vector>

static_assert(sizeof(Vector3) == 3 * sizeof(float), "tracks are uploaded as packed float triples");

namespace {

// Binds a vertex array, or the default one when there is none.
void BindVertexArray(GLuint vertex_array)
{
    if (glBindVertexArray)
        glBindVertexArray(vertex_array ? vertex_array : default_vertex_array);
}

void PointAttributeAtBuffer(GLuint buffer)
{
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 0, nullptr);
}

}  // namespace

DiveDataset::DiveDataset(const std::string& directory)
{
    // The files first: a load that throws then has no GL objects to leak.
    m_data.Load(directory);
    Upload();
}

void DiveDataset::Upload()
{
    motion_buffer.Create();
    solution_buffer.Create();
    segment_buffer.Create();
    // Without vertex-array objects the names stay 0 and every draw sets its
    // attribute afresh.
    if (glGenVertexArrays) {
        motion_vertex_array.Create();
        solution_vertex_array.Create();
        segment_vertex_array.Create();
    }

    const std::vector<Vector3>& motion = m_data.motion_track;
    BindVertexArray(motion_vertex_array);
    glBindBuffer(GL_ARRAY_BUFFER, motion_buffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(motion.size() * sizeof(Vector3)),
                 motion.empty() ? nullptr : motion.data(), GL_STATIC_DRAW);
    PointAttributeAtBuffer(motion_buffer);

    BindVertexArray(segment_vertex_array);
    glBindBuffer(GL_ARRAY_BUFFER, segment_buffer);
    glBufferData(GL_ARRAY_BUFFER, 2 * sizeof(Vector3), nullptr, GL_DYNAMIC_DRAW);
    PointAttributeAtBuffer(segment_buffer);

    UploadTracks();
}

bool DiveDataset::SelectTrack(size_t k)
{
    if (!m_data.SelectTrack(k))
        return false;
    UploadTracks();
    return true;
}

void DiveDataset::UploadTracks()
{
    const std::vector<Vector3>& solution = m_data.solution_positions;
    BindVertexArray(solution_vertex_array);
    glBindBuffer(GL_ARRAY_BUFFER, solution_buffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(solution.size() * sizeof(Vector3)),
                 solution.empty() ? nullptr : solution.data(), GL_STATIC_DRAW);
    PointAttributeAtBuffer(solution_buffer);

    m_others.clear();
    for (size_t k = 0; k < m_data.tracks.size(); ++k) {
        const DiveTrack& track = m_data.tracks[k];
        if (int(k) == m_data.measured || int(k) == m_data.reference || track.role == TrackRole::kWaterDepth ||
            track.fixes.empty())
            continue;
        Other& other = m_others.emplace_back();
        other.track = int(k);
        for (const TrackFix& fix : track.fixes) {
            other.positions.emplace_back(float(fix.local.x), float(fix.local.y), float(fix.local.z));
            if (!track.route)
                other.times.push_back(fix.t);
            other.gap_before.push_back(fix.gap_before ? 1 : 0);
        }
        other.buffer.Create();
        if (glGenVertexArrays)
            other.vertex_array.Create();
        BindVertexArray(other.vertex_array);
        glBindBuffer(GL_ARRAY_BUFFER, other.buffer);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(other.positions.size() * sizeof(Vector3)),
                     other.positions.data(), GL_STATIC_DRAW);
        PointAttributeAtBuffer(other.buffer);
    }

    BindVertexArray(0);
}

namespace {

// Draws vertices first .. last of the bound array as runs that a gap
// breaks: a line never joins two fixes with a gap between them.
void DrawRuns(GLenum mode, size_t first, size_t last, const std::vector<uint8_t>& gap_before)
{
    size_t from = first;
    for (size_t k = first + 1; k <= last + 1; ++k) {
        if (k <= last && !(k < gap_before.size() && gap_before[k]))
            continue;
        glDrawArrays(mode, static_cast<GLint>(from), static_cast<GLsizei>(k - from));
        from = k;
    }
}

}  // namespace

void DiveDataset::DrawTrack(GLenum mode, double t, bool use_motion) const
{
    if (use_motion)
        DrawUpTo(mode, t, m_data.motion_track, m_data.motion_times, m_data.motion_gap_before, motion_buffer,
                 motion_vertex_array);
    else
        DrawUpTo(mode, t, m_data.solution_positions, m_data.solution_times, m_data.solution_gap_before,
                 solution_buffer, solution_vertex_array);
}

void DiveDataset::DrawOtherTrack(size_t k, GLenum mode, double t) const
{
    const Other& other = m_others[k];
    DrawUpTo(mode, t, other.positions, other.times, other.gap_before, other.buffer, other.vertex_array);
}

void DiveDataset::DrawUpTo(GLenum mode, double t, const std::vector<Vector3>& track, const std::vector<double>& times,
                           const std::vector<uint8_t>& gaps, GLuint buffer, GLuint vertex_array) const
{
    if (track.empty())
        return;
    BindVertexArray(vertex_array);
    if (!vertex_array)
        PointAttributeAtBuffer(buffer);
    // A route has no times: it shows whole from the start.
    if (m_data.Timed() && times.empty()) {
        DrawRuns(mode, 0, track.size() - 1, gaps);
        BindVertexArray(0);
        return;
    }
    size_t i, j;
    float f;
    m_data.Lookup(t, track.size(), i, j, f, times.empty() ? nullptr : &times);
    const Vector3 current = track[i] + (track[j] - track[i]) * f;
    DrawRuns(mode, 0, i, gaps);

    // In a gap nothing leads on from the last fix.
    const bool in_gap = j > i && j < gaps.size() && gaps[j] && f > 0.0f;
    if (in_gap)
        BindVertexArray(0);
    else
        DrawSegment(mode, track[i], current);
}

void DiveDataset::DrawSegment(GLenum mode, const Vector3& last, const Vector3& current) const
{
    BindVertexArray(segment_vertex_array);
    glBindBuffer(GL_ARRAY_BUFFER, segment_buffer);
    const Vector3 segment[2] = {last, current};
    glBufferSubData(GL_ARRAY_BUFFER, 0, sizeof segment, segment);
    if (!segment_vertex_array)
        PointAttributeAtBuffer(segment_buffer);
    if (mode == GL_POINTS)
        glDrawArrays(mode, 1, 1);
    else
        glDrawArrays(mode, 0, 2);

    BindVertexArray(0);
}

void DiveDataset::DrawSolutionTrackByClass(GLenum mode, double t, const std::vector<uint8_t>& fix_class,
                                           const std::function<bool(int)>& use) const
{
    const std::vector<Vector3>& track = m_data.solution_positions;
    size_t i, j;
    float f;
    if (!m_data.Lookup(t, track.size(), i, j, f, m_data.Timed() ? &m_data.solution_times : nullptr))
        return;
    const auto class_of = [&fix_class](size_t k) { return k < fix_class.size() ? int(fix_class[k]) : -1; };
    // One draw per run of equal classes; a line run reaches on to the first
    // fix of the next run, so the strip stays joined.
    for (size_t first = 0; first <= i;) {
        const int c = class_of(first);
        size_t last = first;
        while (last < i && class_of(last + 1) == c)
            ++last;
        if (use(c)) {
            BindVertexArray(solution_vertex_array);
            if (!solution_vertex_array)
                PointAttributeAtBuffer(solution_buffer);
            const size_t end = mode == GL_POINTS ? last : std::min(last + 1, i);
            if (end >= first)
                DrawRuns(mode, first, end, m_data.solution_gap_before);
        }
        first = last + 1;
    }
    if (!m_data.SolutionGapAt(t) && use(class_of(i)))
        DrawSegment(mode, track[i], m_data.SolutionPositionAt(t));
    BindVertexArray(0);
}
