-- How many bucket middles the store holds: none until the library writes them.
SELECT COUNT(*) FROM zel_bucket_mid
