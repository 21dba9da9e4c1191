#include "logs/log_export.h"

#include "dataset/dive_error.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

namespace {

struct ExportTrack {
    std::string name;
    std::vector<TrackFix> fixes;
    std::vector<float> errors;  // per fix, the measured track only
};

// The tracks as they go out: a dataset of tracks as it is, one of the fixed
// frame as its solution and motion.
std::vector<ExportTrack> TracksOf(const DiveData& data)
{
    std::vector<ExportTrack> out;
    const DiveErrors errors = ComputeDiveErrors(data);
    if (!data.tracks.empty()) {
        for (size_t k = 0; k < data.tracks.size(); ++k) {
            ExportTrack track{data.tracks[k].name, data.tracks[k].fixes, {}};
            if (int(k) == data.measured)
                track.errors = errors.total;
            out.push_back(std::move(track));
        }
        return out;
    }
    const double epoch = std::isfinite(data.epoch) ? data.epoch : 0.0;
    const auto track_of = [&](const char* name, const std::vector<Vector3>& positions) {
        ExportTrack track{name, {}, {}};
        for (size_t k = 0; k < positions.size(); ++k) {
            TrackFix fix;
            const LocalPoint local(positions[k].x, positions[k].y, positions[k].z);
            fix.where = data.frame.ToGeographic(local);
            fix.depth = -local.y + 0.0;
            fix.utc = epoch + double(k) * data.dt;
            track.fixes.push_back(fix);
        }
        return track;
    };
    out.push_back(track_of("solution", data.solution_positions));
    out.back().errors = errors.total;
    out.push_back(track_of("motion", data.motion_track));
    return out;
}

std::string Xml(const std::string& text)
{
    std::string escaped;
    for (char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

std::string Number(const char* format, double value)
{
    char text[48];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Gpx(const std::vector<ExportTrack>& tracks)
{
    std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<gpx version=\"1.1\" creator=\"nerelle\" xmlns=\"http://www.topografix.com/GPX/1/1\"\n"
        "     xmlns:gpxtpx=\"http://www.garmin.com/xmlschemas/TrackPointExtension/v1\">\n";
    for (const ExportTrack& track : tracks) {
        text += "  <trk>\n    <name>" + Xml(track.name) + "</name>\n    <trkseg>\n";
        for (const TrackFix& fix : track.fixes) {
            // A gap starts a new segment, as the dataset breaks the track there.
            if (fix.gap_before)
                text += "    </trkseg>\n    <trkseg>\n";
            text += "      <trkpt lat=\"" + Number("%.9f", fix.where.latitude) + "\" lon=\"" +
                    Number("%.9f", fix.where.longitude) + "\">\n";
            if (std::isfinite(fix.depth))
                text += "        <ele>" + Number("%.3f", -fix.depth + 0.0) + "</ele>\n";
            if (std::isfinite(fix.utc))
                text += "        <time>" + FormatUtc(fix.utc) + "</time>\n";
            if (fix.receivers >= 0)
                text += "        <sat>" + std::to_string(fix.receivers) + "</sat>\n";
            if (std::isfinite(fix.hdop))
                text += "        <hdop>" + Number("%g", fix.hdop) + "</hdop>\n";
            if (std::isfinite(fix.depth))
                text += "        <extensions><gpxtpx:TrackPointExtension><gpxtpx:depth>" + Number("%.3f", fix.depth) +
                        "</gpxtpx:depth></gpxtpx:TrackPointExtension></extensions>\n";
            text += "      </trkpt>\n";
        }
        text += "    </trkseg>\n  </trk>\n";
    }
    return text + "</gpx>\n";
}

std::string Kml(const std::vector<ExportTrack>& tracks)
{
    std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<kml xmlns=\"http://www.opengis.net/kml/2.2\" xmlns:gx=\"http://www.google.com/kml/ext/2.2\">\n"
        "<Document>\n";
    for (const ExportTrack& track : tracks) {
        text += "  <Placemark>\n    <name>" + Xml(track.name) + "</name>\n    <gx:Track>\n"
                "      <altitudeMode>absolute</altitudeMode>\n";
        for (const TrackFix& fix : track.fixes)
            if (std::isfinite(fix.utc))
                text += "      <when>" + FormatUtc(fix.utc) + "</when>\n";
        for (const TrackFix& fix : track.fixes)
            text += "      <gx:coord>" + Number("%.9f", fix.where.longitude) + " " +
                    Number("%.9f", fix.where.latitude) + " " +
                    Number("%.3f", std::isfinite(fix.depth) ? -fix.depth + 0.0 : 0.0) + "</gx:coord>\n";
        text += "    </gx:Track>\n  </Placemark>\n";
    }
    return text + "</Document>\n</kml>\n";
}

std::string Csv(const std::vector<ExportTrack>& tracks)
{
    std::string text = "track,utc,lat,lon,depth,quality,hdop,receivers,error\n";
    for (const ExportTrack& track : tracks)
        for (size_t k = 0; k < track.fixes.size(); ++k) {
            const TrackFix& fix = track.fixes[k];
            text += track.name + "," + FormatFixCsvFields(fix) + ",";
            if (k < track.errors.size())
                text += Number("%.3f", track.errors[k]);
            text += "\n";
        }
    return text;
}

}  // namespace

bool ExportFormatOf(const std::string& path, ExportFormat& format)
{
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos)
        return false;
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    if (extension == "gpx")
        format = ExportFormat::kGpx;
    else if (extension == "kml")
        format = ExportFormat::kKml;
    else if (extension == "csv")
        format = ExportFormat::kCsv;
    else
        return false;
    return true;
}

std::string FormatExport(const DiveData& data, ExportFormat format)
{
    const std::vector<ExportTrack> tracks = TracksOf(data);
    switch (format) {
    case ExportFormat::kGpx: return Gpx(tracks);
    case ExportFormat::kKml: return Kml(tracks);
    case ExportFormat::kCsv: return Csv(tracks);
    }
    return "";
}
