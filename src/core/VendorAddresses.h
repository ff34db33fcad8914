#pragma once

// Addresses of the vendor and the outside services the program links to. All are reserved
// example domains until the product has a real home.
namespace VendorAddresses {
inline constexpr char16_t WebSite[] = u"http://www.pexaresizer.example";
inline constexpr char16_t ErrorMailbox[] = u"errors@pexaresizer.example";
inline constexpr char16_t NewsSubscription[] = u"orvel-news-subscribe@pexaresizer.example";
inline constexpr char16_t DonationService[] = u"https://www.donations.example/cgi-bin/webscr";
inline constexpr char16_t DonationAccount[] = u"donate@pexaresizer.example";
inline constexpr char16_t WebSearch[] = u"http://www.search.example";
inline constexpr char16_t WebSearchTerm[] = u"Qt";
inline constexpr char16_t ImageMagickProjectHost[] = u"www.imagemagick.example";
inline constexpr char16_t ImageMagickProjectDownload[] =
    u"http://www.imagemagick.example/script/download.php";
inline constexpr char16_t VendorHost[] = u"www.pexaresizer.example";
inline constexpr char16_t VendorImageMagickDownload[] =
    u"http://www.pexaresizer.example/files/support/ImageMagick.exe";
} // namespace VendorAddresses
