// The coordinate reference system of the second map service. Its tiles are
// cut from a plane of its own: longitude and latitude (already in the second
// conversion's system) go to plane metres by one polynomial per band of
// latitude, and at zoom z one pixel is 2^(18 - z) plane metres, tile (0, 0)
// starting at the plane's origin with y growing northwards.
(function () {
  'use strict';
  if (typeof L === 'undefined') return;

  // Lower edges of the latitude bands (degrees) and of the same bands in the
  // plane (metres), from the pole towards the equator.
  var LAT_BANDS = [75, 60, 45, 30, 15, 0];
  var PLANE_BANDS = [12890594.86, 8362377.87, 5591021, 3481989.83, 1678043.12, 0];

  // Per band: x = c0 + c1 |a|; t = |b| / c9; y = c2 + c3 t + ... + c8 t^6,
  // both signed like their inputs (a, b = longitude, latitude or plane x, y).
  var TO_PLANE = [
    [-0.0015702102444, 111320.7020616939, 1704480524535203, -10338987376042340, 26112667856603880,
     -35149669176653700, 26595700718403920, -10725012454188240, 1800819912950474, 82.5],
    [8.277824516172526E-4, 111320.7020463578, 6.477955746671607E8, -4.082003173641316E9,
     1.077490566351142E10, -1.517187553151559E10, 1.205306533862167E10, -5.124939663577472E9,
     9.133119359512032E8, 67.5],
    [0.00337398766765, 111320.7020202162, 4481351.045890365, -2.339375119931662E7, 7.968221547186455E7,
     -1.159649932797253E8, 9.723671115602145E7, -4.366194633752821E7, 8477230.501135234, 52.5],
    [0.00220636496208, 111320.7020209128, 51751.86112841131, 3796837.749470245, 992013.7397791013,
     -1221952.21711287, 1340652.697009075, -620943.6990984312, 144416.9293806241, 37.5],
    [-3.441963504368392E-4, 111320.7020576856, 278.2353980772752, 2485758.690035394, 6070.750963243378,
     54821.18345352118, 9540.606633304236, -2710.55326746645, 1405.483844121726, 22.5],
    [-3.218135878613132E-4, 111320.7020701615, 0.00369383431289, 823725.6402795718, 0.46104986909093,
     2351.343141331292, 1.58060784298199, 8.77738589078284, 0.37238884252424, 7.45]
  ];
  var FROM_PLANE = [
    [1.410526172116255E-8, 8.98305509648872E-6, -1.9939833816331, 200.9824383106796, -187.2403703815547,
     91.6087516669843, -23.38765649603339, 2.57121317296198, -0.03801003308653, 1.73379812E7],
    [-7.435856389565537E-9, 8.983055097726239E-6, -0.78625201886289, 96.32687599759846, -1.85204757529826,
     -59.36935905485877, 47.40033549296737, -16.50741931063887, 2.28786674699375, 1.026014486E7],
    [-3.030883460898826E-8, 8.98305509983578E-6, 0.30071316287616, 59.74293618442277, 7.357984074871,
     -25.38371002664745, 13.45380521110908, -3.29883767235584, 0.32710905363475, 6856817.37],
    [-1.981981304930552E-8, 8.983055099779535E-6, 0.03278182852591, 40.31678527705744, 0.65659298677277,
     -4.44255534477492, 0.85341911805263, 0.12923347998204, -0.04625736007561, 4482777.06],
    [3.09191371068437E-9, 8.983055096812155E-6, 6.995724062E-5, 23.10934304144901, -2.3663490511E-4,
     -0.6321817810242, -0.00663494467273, 0.03430082397953, -0.00466043876332, 2555164.4],
    [2.890871144776878E-9, 8.983055095805407E-6, -3.068298E-8, 7.47137025468032, -3.53937994E-6,
     -0.02145144861037, -1.234426596E-5, 1.0322952773E-4, -3.23890364E-6, 826088.5]
  ];

  function band(edges, value) {
    var a = Math.abs(value);
    for (var i = 0; i < edges.length; i++) if (a >= edges[i]) return i;
    return edges.length - 1;
  }

  function polynomial(c, a, b) {
    var x = c[0] + c[1] * Math.abs(a);
    var t = Math.abs(b) / c[9];
    var y = c[2] + t * (c[3] + t * (c[4] + t * (c[5] + t * (c[6] + t * (c[7] + t * c[8])))));
    return [a < 0 ? -x : x, b < 0 ? -y : y];
  }

  var projection = {
    project: function (latlng) {
      var lon = ((latlng.lng + 180) % 360 + 360) % 360 - 180;
      var lat = Math.max(-74, Math.min(74, latlng.lat));
      var p = polynomial(TO_PLANE[band(LAT_BANDS, lat)], lon, lat);
      return L.point(p[0], p[1]);
    },
    unproject: function (point) {
      var p = polynomial(FROM_PLANE[band(PLANE_BANDS, point.y)], point.x, point.y);
      return L.latLng(p[1], p[0]);
    },
    bounds: L.bounds([-20037726.37, -12474104.17], [20037726.37, 12474104.17])
  };

  // Leaflet's pixel at zoom z is 256 * 2^z * (2^-26 * m + 1/2): the service's
  // pixel plus half the world, y flipped.
  var k = Math.pow(2, -26);
  window.SecondSystemCRS = L.extend({}, L.CRS.EPSG3857, {
    code: 'SECOND-PLANE',
    projection: projection,
    transformation: new L.Transformation(k, 0.5, -k, 0.5),
    wrapLng: undefined
  });

  // Tile numbers of the service: x from the plane's origin eastwards, y
  // northwards.
  window.SecondSystemTiles = L.TileLayer.extend({
    getTileUrl: function (coords) {
      var half = Math.pow(2, coords.z - 1);
      var c = L.point(coords.x - half, half - coords.y - 1);
      c.z = coords.z;
      return L.TileLayer.prototype.getTileUrl.call(this, c);
    }
  });
})();
