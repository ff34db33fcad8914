#!/usr/bin/env bash
# Writes the seed corpus in fuzz/corpus/ anew: tiny real images made with ImageMagick's convert,
# and hand-written INI texts, number texts, passwords and FTP listings in the layout each fuzzer
# reads. The
# committed seeds came from this script; run it only to change them.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
corpus=$top/fuzz/corpus
rm -rf "$corpus"/{image_header,inifile,number_text,ftp_password,ftp_listing,web_metadata}
mkdir -p "$corpus"/{image_header,inifile,number_text,ftp_password,ftp_listing,web_metadata}

# Image headers: each format the reader knows, in the depths and kinds it tells apart.
images=$corpus/image_header
convert -size 3x2 xc:red -strip PNG24:"$images/rgb.png"
convert -size 3x2 xc:red -alpha on -channel A -evaluate set 50% -strip PNG32:"$images/rgba.png"
convert -size 3x2 xc:gray50 -strip PNG8:"$images/palette.png"
convert -size 3x2 gradient: -colorspace Gray -depth 16 -define png:color-type=0 -define png:bit-depth=16 -strip PNG:"$images/gray16.png"
convert -size 5x4 xc:blue -strip "$images/image.gif"
convert -size 5x4 xc:green -strip BMP3:"$images/image.bmp"
convert -size 7x6 xc:yellow -strip "$images/baseline.jpg"
convert -size 7x6 xc:yellow -interlace Plane -strip "$images/progressive.jpg"
convert -size 7x6 xc:gray50 -colorspace Gray -strip "$images/gray.jpg"
# A JPEG behind some other bytes: the reader looks for its start anywhere in the head.
{ printf 'junk before the image'; cat "$images/baseline.jpg"; } >"$images/offset.jpg"
# The walk ends at index 65525: a comment segment leads to a frame header just inside it (index
# 65524, read) or to one that would cross the end of the 64 KiB looked at (index 65528, not
# read). Both files are longer than that, mostly zeros.
boundary() {
    printf '\xFF\xD8\xFF\xFE'"$1"
    head -c $((65524 + $2 - 6)) /dev/zero
    printf '\xFF\xC0\x00\x11\x08\x00\x06\x00\x07\x03'
    printf 'bytes past the head that are never looked at %.0s' {1..4}
}
boundary '\xFF\xF1' 0 >"$images/frame-at-end.jpg"
boundary '\xFF\xF5' 4 >"$images/frame-across-end.jpg"

# The INI fuzzer reads section, key and value (each ended by a backslash and another character),
# then the file bytes; its last three bytes are the mode and the picks.
ini=$corpus/inifile
printf 'FTP\\;password\\;secret\\;[FTP]\naddress=ftp.example.com\npassword=abc\n\n[Resize]\nlimit=600W\n\x00\x00\x00' >"$ini/store"
printf 'Resize\\;Limit\\;"800H"\\;\xEF\xBB\xBF[resize]\r\nlimit = 600W\r\n; comment\r\nmode=2\r\n\x00\x00\x06' >"$ini/crlf-bom"
printf 'New\\;key\\;  spaced  \\;[Other]\nx=1\n[Other]\ny=2\n=empty\n\x00\x00\x00' >"$ini/new-section"
printf 'A\\;b\\;\\;[A]\nb=1\nB=2\n[a]\nb=3\n\x01\x00\x12' >"$ini/delete-key"
printf 'A\\;\\;\\;[A]\nk=v\n[B]\nk=w\n[A]\nz=1\n\x00\x00\x1a' >"$ini/delete-section"
printf 'S\\;k\\;line\nbreak\\;[S]\nk=\xe9t\xe9\n[unclosed\nk=2\n\x00\x00\x00' >"$ini/refused-latin1"
# Found by the fuzzer: a section deleted so that a later line starting with a BOM comes first;
# a line with two CRs in a file whose first line ends in LF alone; a section name holding NUL.
echo 'QVw7XDtcO1tBXQprPXYKXT0Kaz3/////////////////d4r//wrvu79bcmVzKV0KCmI9MQUAGg==' | base64 -d >"$ini/bom-line-first"
echo 'QVw7Ylw7XDtbQV0KYj0xCkZUVwAAAAAAAABvcmRcO3NlY3JldFw7W0ZUUJv1YWRkaXplXDtMaW1pdFw7IjgwMEgiXDvvu79bcmVzaXplXQ0NCmwAAABiXT3S' |
    base64 -d >"$ini/mixed-line-ends"
echo 'UmVzaXplXDtMaW1pdFw7IjguMEgiXDvvu79bcmX/AHNpeg==' | base64 -d >"$ini/nul-in-name"

# Number texts: eight bytes of a double (little-endian) for the conversions, then the text;
# the last byte is the mode (1: text as UTF-16, 2: German locale).
numbers=$corpus/number_text
printf '\x00\x00\x00\x00\x00\x00\xf8\x3f600W\x00' >"$numbers/limit"
printf '\x00\x00\x00\x00\x00\x00\x04\x40 &HFF\x00' >"$numbers/hex"
printf '\x00\x00\x00\x00\x00\xfe\xdf\x40 -1.25e+3 \x00' >"$numbers/exponent"
printf '\x00\x00\x00\x00\x00\x00\xe0\x41 2,5 \x02' >"$numbers/comma"
printf '\x00\x00\x00\x00\x00\x00\xf0\x7f1 2 3d4\x00' >"$numbers/blanks"
printf '\x00\x00\x00\x00\x00\x00\x00\x002147483647.5\x00' >"$numbers/edge"
printf '\x00\x00\x00\x00\x00\x00\xf0\x7f8\x000\x008\x000\x00\x01' >"$numbers/utf16"
# Found by the fuzzer: the largest double, whose 15-digit form overflows when read back.
printf '\xff\xff\xff\xff\xff\xff\xef\xffe\x00' >"$numbers/largest"

# Passwords: the scramble key (ended by a backslash and another character), then the bytes;
# the last byte is the mode (1: password as UTF-16, 2: stored text as UTF-16).
passwords=$corpus/ftp_password
printf 'QMRZWKDNVSYUTA52\\;secret\x00' >"$passwords/plain"
printf 'k\\; two blanks \x00' >"$passwords/blanks"
printf 'k\\;p\xc3\xa4ss\xe2\x82\xac\x00' >"$passwords/unicode"
printf 'k\\;"""YWJj"""\x00' >"$passwords/quoted"
printf '\\;\x01\x00\x03\x00\x03' >"$passwords/utf16"

# FTP listings: a name, a size text and a time text (each ended by a backslash and another
# character) for one MLSD line the fuzzer makes, then a listing as a server sends it.
listings=$corpus/ftp_listing
printf 'a.jpg\\;1234\\;20080701120005\\;type=file;size=70000;modify=19991231235959;perm=adfrw; F\xc3\xaate d\x27\xc3\xa9t\xc3\xa9.jpg\r\ntype=dir;modify=20080701120005; Juni 2008\r\ntype=cdir; .\r\ntype=pdir; ..\r\n' >"$listings/mlsd"
printf 'tn_a.jpg\\;0\\;20080701120005.123\\;Type=File;Size=0;Modify=20080229000000.5;UNIX.mode=0644; empty.jpg\ntype=OS.unix=slink:/etc; link\n' >"$listings/mlsd-case-fraction"
printf '..\\;99999999999999999999\\;20081301250000\\;type=file;size=-5;modify=2008; a/b\r\ntype=file;size=1; \x00x\r\ntype=file; ..\r\nno facts here\r\n;;==; \r\n' >"$listings/hostile"
printf 'x\\;7\\;99991231235959\\;a.jpg\r\nsub/\r\n/www/photos/b.jpg\r\n.\r\n..\r\n\xff\xfe.jpg\r\n' >"$listings/nlst"

# Photo metadata: the first byte picks the reader (0 EXIF, 1 IPTC or Photoshop block, 2 XMP,
# 3 JPEG file, 4 a JPEG's or PNG's caption), the rest is what exiftool writes into a small photo.
metadata=$corpus/web_metadata
photo=$(mktemp --suffix=.jpg)
trap 'rm -f "$photo"' EXIT
convert -size 8x6 xc:teal -strip "$photo"
exiftool -q -overwrite_original -Orientation#=6 -GPSLatitude=48.85 -GPSLatitudeRef=N -SerialNumber=SN1 \
    -Artist='Ann Author' -Copyright='(c) Ann' -ImageDescription='Harbour at dawn' -IPTC:By-line='Ann Author' \
    -IPTC:City=Paris -XMP-dc:Title=Harbour -XMP-dc:Creator='Ann & Bob' -XMP-xmpMM:HistoryAction=saved "$photo"
{ printf '\x00'; exiftool -b -EXIF "$photo"; } >"$metadata/exif"
{ printf '\x01'; exiftool -b -IPTC "$photo"; } >"$metadata/iptc"
# The same IPTC data in a Photoshop resource block, as JPEGs carry it: id 0x0404, an empty name,
# a 32-bit length, the data padded to an even length.
length=$(exiftool -b -IPTC "$photo" | wc -c)
{ printf '\0018BIM\004\004\000\000'
  printf "$(printf '\\%03o' 0 0 $((length >> 8)) $((length & 255)))"
  exiftool -b -IPTC "$photo"
  if ((length % 2)); then printf '\000'; fi; } >"$metadata/photoshop"
{ printf '\x02'; exiftool -b -XMP "$photo"; } >"$metadata/xmp"
{ printf '\x03'; cat "$photo"; } >"$metadata/photo.jpg"
{ printf '\x04'; cat "$photo"; } >"$metadata/caption.jpg"
# A PNG carries its EXIF in an eXIf chunk, its XMP in iTXt and its IPTC as compressed raw text.
png=$(mktemp --suffix=.png)
trap 'rm -f "$photo" "$png"' EXIT
convert -size 8x6 xc:teal -strip "$png"
exiftool -q -q -overwrite_original -ImageDescription='Harbour at dawn' -IPTC:Caption-Abstract='Boats' \
    -XMP-dc:Description='Harbour' "$png"
{ printf '\x04'; cat "$png"; } >"$metadata/caption.png"
