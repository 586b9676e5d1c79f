// The maker's web site: filled in by the site-server work.
