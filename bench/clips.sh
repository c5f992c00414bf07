# Shared by the render benchmarks (sourced, with OUT set): the clips they render and small helpers.

# make_clip NAME SIZE RATE SECONDS KEYINT: laid out as phones write them: QuickTime, a picture
# timescale of 600, a test pattern with a little noise that changes every picture (so the data
# rate is a camera's, not a flat pattern's), and AAC stereo sound. Made once into $OUT.
make_clip() {
    if [ ! -f "$OUT/$1.mov" ]; then
        echo "making $1 ($2 at $3 fps, $4 s, keyframe every $5)" >&2
        ffmpeg -nostdin -loglevel error -y \
            -f lavfi -i "testsrc2=size=$2:rate=$3:duration=$4" \
            -f lavfi -i "aevalsrc=0.4*sin(2*PI*(220+30*sin(t))*t)|0.3*sin(2*PI*330*t):s=44100:d=$4" \
            -vf "noise=alls=8:allf=t" \
            -c:v libx264 -preset veryfast -g "$5" -keyint_min "$5" -sc_threshold 0 -pix_fmt yuv420p \
            -c:a aac -ac 2 -video_track_timescale 600 -f mov "$OUT/$1.mov.tmp"
        mv "$OUT/$1.mov.tmp" "$OUT/$1.mov"
    fi
}

median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

probe() { ffprobe -v error -select_streams "$2" -show_entries "stream=$3" -of csv=p=0 "$1"; }

packets() {
    ffprobe -v error -select_streams "$2" -count_packets -show_entries stream=nb_read_packets \
        -of csv=p=0 "$1"
}
